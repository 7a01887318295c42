// The data layer against the bare engine on the same encrypted file, for the two patterns that
// touch the most rows: building the category tree (one query per category) and listing a large
// category; and showing one entry.

#include "support/BenchVault.h"
#include "vault/Recordset.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int listedEntries = 10000;

struct Fixture {
    BenchVault vault;
    std::vector<BenchCategory> tree = vault.addCategoryTree();
    qint64 listedCategory = tree.front().id; // the first category below the root
    QString shownEntryKey = QStringLiteral("5000");

    Fixture() {
        vault.addEntries(listedCategory, listedEntries, [](int index) {
            const QString i = QString::number(index + 1);
            return BenchEntry{QStringLiteral("条目 ") + i, QStringLiteral("user") + i,
                              QStringLiteral("p@ss-") + i, QStringLiteral("https://example.org/") + i,
                              QStringLiteral("备注 ") + i, QStringLiteral("普通账号")};
        });
    }

    Connection& connection() { return vault.module().VaultConnection; }
    sqlite3* raw() const { return vault.raw(); }
};

Fixture* fixture = nullptr;

// --- tree build: one query per category, each level with a result set of its own ---

qint64 treeThroughRecordset(qint64 parent) {
    Recordset level;
    level.open(Statements::childCategories(parent), fixture->connection());
    qint64 visited = 0;
    const qint64 count = level.recordCount();
    for (qint64 i = 1; i <= count; ++i) {
        const qint64 id = level.integer(QStringLiteral("ID"));
        const QString name = level.text(QStringLiteral("Name"));
        benchmark::DoNotOptimize(name.size());
        visited += 1 + treeThroughRecordset(id);
        level.moveNext();
    }
    level.close();
    return visited;
}

qint64 treeThroughRawApi(qint64 parent) {
    const QString sql = Statements::childCategories(parent);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare16_v2(fixture->raw(), sql.utf16(), static_cast<int>(sql.size() * 2), &statement, nullptr);
    qint64 visited = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const qint64 id = sqlite3_column_int64(statement, 0);
        const QString name(static_cast<const QChar*>(sqlite3_column_text16(statement, 2)),
                           sqlite3_column_bytes16(statement, 2) / 2);
        benchmark::DoNotOptimize(name.size());
        visited += 1 + treeThroughRawApi(id);
    }
    sqlite3_finalize(statement);
    return visited;
}

void BM_TreeBuild_Recordset(benchmark::State& state) {
    for (auto _ : state) {
        if (treeThroughRecordset(1) != benchTreeCategories) {
            state.SkipWithError("wrong number of categories");
        }
    }
}

void BM_TreeBuild_Raw(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(treeThroughRawApi(1));
    }
}

// --- listing a category of 10,000 entries: Caption and ID of each row ---

void BM_ListCategory_Recordset(benchmark::State& state) {
    const QString key = QString::number(fixture->listedCategory);
    for (auto _ : state) {
        Recordset rs;
        rs.open(Statements::entriesOfCategory(key), fixture->connection());
        const qint64 count = rs.recordCount();
        for (qint64 i = 1; i <= count; ++i) {
            const QString caption = rs.text(QStringLiteral("Caption"));
            const qint64 id = rs.integer(QStringLiteral("ID"));
            benchmark::DoNotOptimize(caption.size() + id);
            rs.moveNext();
        }
        rs.close();
        if (count != listedEntries) {
            state.SkipWithError("wrong number of entries");
        }
    }
}

void BM_ListCategory_Raw(benchmark::State& state) {
    const QString sql = Statements::entriesOfCategory(QString::number(fixture->listedCategory));
    for (auto _ : state) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare16_v2(fixture->raw(), sql.utf16(), static_cast<int>(sql.size() * 2), &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const QString caption(static_cast<const QChar*>(sqlite3_column_text16(statement, 2)),
                                  sqlite3_column_bytes16(statement, 2) / 2);
            const qint64 id = sqlite3_column_int64(statement, 0);
            benchmark::DoNotOptimize(caption.size() + id);
        }
        sqlite3_finalize(statement);
    }
}

// --- showing one entry: six columns of one row ---

const char* const shownColumns[] = {"Caption", "Name", "Pass", "Www", "Remark", "Sort"};

void BM_ShowEntry_Recordset(benchmark::State& state) {
    for (auto _ : state) {
        Recordset rs;
        rs.open(Statements::entry(fixture->shownEntryKey), fixture->connection());
        if (rs.recordCount() > 0) {
            for (const char* column : shownColumns) {
                benchmark::DoNotOptimize(rs.text(QLatin1String(column)).size());
            }
        }
        rs.close();
    }
}

void BM_ShowEntry_Raw(benchmark::State& state) {
    const QString sql = Statements::entry(fixture->shownEntryKey);
    for (auto _ : state) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare16_v2(fixture->raw(), sql.utf16(), static_cast<int>(sql.size() * 2), &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 2; column <= 7; ++column) {
                const QString text(static_cast<const QChar*>(sqlite3_column_text16(statement, column)),
                                   sqlite3_column_bytes16(statement, column) / 2);
                benchmark::DoNotOptimize(text.size());
            }
        }
        sqlite3_finalize(statement);
    }
}

BENCHMARK(BM_TreeBuild_Recordset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeBuild_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCategory_Recordset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCategory_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowEntry_Recordset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowEntry_Raw)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration (in ms) for the summary lines: the mean over the
// repetitions when there are several (with --benchmark_report_aggregates_only the single runs
// never reach the reporter), else the one run.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double real = 0; // ms per iteration
        double cpu = 0;
    };
    std::map<std::string, Times> milliseconds;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            // The aggregates follow the single runs, so a mean replaces them.
            if (run.run_type == Run::RT_Iteration ||
                (run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean")) {
                // Every benchmark here reports in milliseconds.
                milliseconds[run.run_name.str()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            }
        }
    }
};

void printSummary(const SummaryReporter& reporter) {
    const struct {
        const char* title;
        const char* name;
    } pairs[] = {{"tree build, 1,000 categories", "BM_TreeBuild"},
                 {"list of 10,000 entries", "BM_ListCategory"},
                 {"show one entry", "BM_ShowEntry"}};
    std::printf("\n");
    for (const auto& pair : pairs) {
        const auto layer = reporter.milliseconds.find(std::string(pair.name) + "_Recordset");
        const auto raw = reporter.milliseconds.find(std::string(pair.name) + "_Raw");
        if (layer != reporter.milliseconds.end() && raw != reporter.milliseconds.end()) {
            std::printf("%s: Recordset %.3f ms, raw %.3f ms, ratio %.2f (CPU time: %.3f ms, %.3f ms, ratio %.2f)\n",
                        pair.title, layer->second.real, raw->second.real, layer->second.real / raw->second.real,
                        layer->second.cpu, raw->second.cpu, layer->second.cpu / raw->second.cpu);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, BenchApplication::None, [] {
        Fixture owned;
        fixture = &owned;
        SummaryReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        fixture = nullptr;
        printSummary(reporter);
    });
}
