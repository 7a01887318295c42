// The data layer against the bare engine on the same encrypted file, for the patterns that touch
// the most rows: building the category tree (one query per category), listing a category of
// 100,000 entries and the login's count of them; and showing one entry.

#include "support/BenchVault.h"
#include "vault/Recordset.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int listedEntries = 100000;

struct Fixture {
    BenchVault vault;
    std::vector<BenchCategory> tree = vault.addCategoryTree();
    BenchVault largeTreeVault;
    std::vector<BenchCategory> largeTree = largeTreeVault.addCategoryTree(benchTree5000);
    qint64 listedCategory = tree.front().id; // the first category below the root
    qint64 shownEntryKey = 50000;

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

qint64 treeThroughRecordset(Connection& connection, qint64 parent) {
    Recordset level;
    level.open(Statements::childCategories(parent), connection);
    qint64 visited = 0;
    const qint64 count = level.recordCount();
    for (qint64 i = 1; i <= count; ++i) {
        const qint64 id = level.integer(QStringLiteral("ID"));
        const QString name = level.text(QStringLiteral("Name"));
        benchmark::DoNotOptimize(name.size());
        visited += 1 + treeThroughRecordset(connection, id);
        level.moveNext();
    }
    level.close();
    return visited;
}

qint64 treeThroughRawApi(sqlite3* db, qint64 parent) {
    const QString sql = Statements::childCategories(parent);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare16_v2(db, sql.utf16(), static_cast<int>(sql.size() * 2), &statement, nullptr);
    qint64 visited = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const qint64 id = sqlite3_column_int64(statement, 0);
        const QString name(static_cast<const QChar*>(sqlite3_column_text16(statement, 2)),
                           sqlite3_column_bytes16(statement, 2) / 2);
        benchmark::DoNotOptimize(name.size());
        visited += 1 + treeThroughRawApi(db, id);
    }
    sqlite3_finalize(statement);
    return visited;
}

// The layer as the tree builder uses it: one state of the file held for the whole walk.
void BM_TreeBuild_Recordset(benchmark::State& state) {
    const bool large = state.range(0) == 5000;
    Connection& connection = (large ? fixture->largeTreeVault : fixture->vault).module().VaultConnection;
    for (auto _ : state) {
        const ReadingScope reading(connection);
        if (treeThroughRecordset(connection, 1) != state.range(0)) {
            state.SkipWithError("wrong number of categories");
        }
    }
}

void BM_TreeBuild_Raw(benchmark::State& state) {
    sqlite3* db = (state.range(0) == 5000 ? fixture->largeTreeVault : fixture->vault).raw();
    for (auto _ : state) {
        benchmark::DoNotOptimize(treeThroughRawApi(db, 1));
    }
}

// --- listing a category of 10,000 entries: Caption and ID of each row ---

void BM_ListCategory_Recordset(benchmark::State& state) {
    const qint64 key = fixture->listedCategory;
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
    const QString sql = Statements::entriesOfCategory(fixture->listedCategory);
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

// --- the login's count of every entry ---

void BM_CountAllEntries_Recordset(benchmark::State& state) {
    for (auto _ : state) {
        Recordset rs;
        rs.open(Statements::allEntries(), fixture->connection());
        if (rs.recordCount() != listedEntries) {
            state.SkipWithError("wrong number of entries");
        }
        rs.close();
    }
}

void BM_CountAllEntries_Raw(benchmark::State& state) {
    for (auto _ : state) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(fixture->raw(), "SELECT count(*) FROM Quorvane_Pass", -1, &statement, nullptr);
        sqlite3_step(statement);
        benchmark::DoNotOptimize(sqlite3_column_int64(statement, 0));
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

BENCHMARK(BM_TreeBuild_Recordset)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeBuild_Raw)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCategory_Recordset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCategory_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountAllEntries_Recordset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountAllEntries_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowEntry_Recordset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowEntry_Raw)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, BenchApplication::None, [] {
        Fixture owned;
        fixture = &owned;
        runWithRatios({
            {"tree pattern, layer / raw", "1,000 categories", "BM_TreeBuild_Recordset/1000", "BM_TreeBuild_Raw/1000",
             1.5},
            {"tree pattern, layer / raw", "5,000 categories", "BM_TreeBuild_Recordset/5000", "BM_TreeBuild_Raw/5000",
             1.5},
            {"list a category, layer / raw", "100,000 entries", "BM_ListCategory_Recordset", "BM_ListCategory_Raw",
             1.5},
            {"login's entry count (statement 2) / count(*)", "100,000 entries", "BM_CountAllEntries_Recordset",
             "BM_CountAllEntries_Raw", 1.5},
            {"show one entry, layer / raw", "1 of 100,000", "BM_ShowEntry_Recordset", "BM_ShowEntry_Raw", 1.5},
        });
        fixture = nullptr;
    });
}
