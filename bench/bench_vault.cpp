// The data layer against the bare engine on the same encrypted file, for the two patterns that
// touch the most rows: building the category tree (one query per category) and listing a large
// category; and showing one entry.

#include "vault/Connection.h"
#include "vault/FreshVault.h"
#include "vault/Recordset.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

// 10 categories under the root, 9 under each of those, 10 under each of those: 1,000 in all.
constexpr int levelOne = 10;
constexpr int levelTwo = 9;
constexpr int levelThree = 10;
constexpr int listedEntries = 10000;
constexpr qint64 listedCategory = 2; // the first category below the root

struct Fixture {
    QTemporaryDir dir;
    Connection connection;
    sqlite3* raw = nullptr;
    QString shownEntryKey;

    Fixture() {
        const QString path = dir.path() + QStringLiteral("/DB.xml");
        createFreshVault(path);
        const QByteArray key = Connection::passwordOf(Connection::connectionTextFor(dir.path())).toUtf8();
        sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr);
        sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
        fill();
        connection.setConnectionString(Connection::connectionTextFor(dir.path()));
        connection.open();
    }
    ~Fixture() { sqlite3_close_v2(raw); }

    void run(const char* sql) const {
        if (sqlite3_exec(raw, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "fixture: %s\n", sqlite3_errmsg(raw));
            std::abort();
        }
    }

    void fill() {
        run("BEGIN");
        sqlite3_stmt* addCategory = nullptr;
        sqlite3_prepare_v2(raw, "INSERT INTO Quorvane_Type (PID, Name, Seq) VALUES (?, ?, 1)", -1, &addCategory,
                           nullptr);
        auto add = [&](qint64 parent, const QString& name) {
            sqlite3_bind_int64(addCategory, 1, parent);
            const QByteArray utf8 = name.toUtf8();
            sqlite3_bind_text(addCategory, 2, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
            sqlite3_step(addCategory);
            sqlite3_reset(addCategory);
            return static_cast<qint64>(sqlite3_last_insert_rowid(raw));
        };
        for (int a = 0; a < levelOne; ++a) {
            const qint64 first = add(1, QStringLiteral("分类 %1").arg(a));
            for (int b = 0; b < levelTwo; ++b) {
                const qint64 second = add(first, QStringLiteral("分类 %1.%2").arg(a).arg(b));
                for (int c = 0; c < levelThree; ++c) {
                    add(second, QStringLiteral("分类 %1.%2.%3").arg(a).arg(b).arg(c));
                }
            }
        }
        sqlite3_finalize(addCategory);
        run("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
            "INSERT INTO Quorvane_Pass (Type, Caption, Name, Pass, Www, Remark, Sort, Seq) "
            "SELECT 2, '条目 ' || i, 'user' || i, 'p@ss-' || i, 'https://example.org/' || i, "
            "'备注 ' || i, '普通账号', 1 FROM n");
        run("COMMIT");
        shownEntryKey = QStringLiteral("5000");
    }
};

Fixture* fixture = nullptr;

// --- tree build: one query per category, each level with a result set of its own ---

qint64 treeThroughRecordset(qint64 parent) {
    Recordset level;
    level.open(Statements::childCategories(parent), fixture->connection);
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
    sqlite3_prepare16_v2(fixture->raw, sql.utf16(), static_cast<int>(sql.size() * 2), &statement, nullptr);
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
        if (treeThroughRecordset(1) != levelOne + levelOne * levelTwo + levelOne * levelTwo * levelThree) {
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
    const QString key = QString::number(listedCategory);
    for (auto _ : state) {
        Recordset rs;
        rs.open(Statements::entriesOfCategory(key), fixture->connection);
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
    const QString sql = Statements::entriesOfCategory(QString::number(listedCategory));
    for (auto _ : state) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare16_v2(fixture->raw, sql.utf16(), static_cast<int>(sql.size() * 2), &statement, nullptr);
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
        rs.open(Statements::entry(fixture->shownEntryKey), fixture->connection);
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
        sqlite3_prepare16_v2(fixture->raw, sql.utf16(), static_cast<int>(sql.size() * 2), &statement, nullptr);
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

// Keeps each benchmark's time per iteration (in ms) for the summary lines.
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
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                // Every benchmark here reports in milliseconds.
                milliseconds[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            }
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    auto owned = std::make_unique<Fixture>();
    fixture = owned.get();

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
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
    benchmark::Shutdown();
    return 0;
}
