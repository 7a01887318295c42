// Building the category tree of 1,000 categories in three levels: the real builder into the real
// tree widget, beside its parts: the bare engine running the same queries, and the widget filled
// from memory. The builder runs one query per category shown, which is what the figures weigh.

#include "controls/CategoryTree.h"
#include "support/BenchVault.h"
#include "tree/CategoryTreeBuilder.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeWidgetItem>

#include <vector>

namespace {

struct Fixture {
    BenchVault vault;
    std::vector<BenchCategory> rows = vault.addCategoryTree(); // in the order the builder meets them
};

Fixture* fixture = nullptr;

// The whole rebuild as the program runs it, into a tree that is not on screen.
void BM_GJTree(benchmark::State& state) {
    CategoryTree tree;
    CategoryTreeBuilder builder(fixture->vault.module(), tree, fixture->vault.folder());
    for (auto _ : state) {
        builder.GJTree();
    }
    if (tree.nodeCount() != benchTreeCategories + 1) {
        state.SkipWithError("wrong node count");
    }
    state.counters["queries"] = benchTreeCategories + 1;
}
BENCHMARK(BM_GJTree)->Unit(benchmark::kMillisecond);

// The same, with the tree on screen (offscreen platform): expanding visible nodes lays them out.
void BM_GJTree_Shown(benchmark::State& state) {
    CategoryTree tree;
    tree.resize(217, 449);
    tree.show();
    QApplication::processEvents();
    CategoryTreeBuilder builder(fixture->vault.module(), tree, fixture->vault.folder());
    for (auto _ : state) {
        builder.GJTree();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_GJTree_Shown)->Unit(benchmark::kMillisecond);

// The floor: the same 1,001 statement texts, prepared and stepped on the bare engine, reading
// ID and Name, depth first.
void rawLevel(sqlite3* db, qint64 pid, qint64& seen) {
    const QByteArray sql = Statements::childCategories(pid).toUtf8();
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const qint64 id = sqlite3_column_int64(statement, 0);
        const auto* name = static_cast<const char16_t*>(sqlite3_column_text16(statement, 2));
        benchmark::DoNotOptimize(name);
        ++seen;
        rawLevel(db, id, seen);
    }
    sqlite3_finalize(statement);
}

void BM_RawQueries(benchmark::State& state) {
    qint64 seen = 0;
    for (auto _ : state) {
        seen = 0;
        rawLevel(fixture->vault.raw(), 1, seen);
    }
    if (seen != benchTreeCategories) {
        state.SkipWithError("wrong row count");
    }
}
BENCHMARK(BM_RawQueries)->Unit(benchmark::kMillisecond);

// The widget alone: the same nodes added from memory and expanded, no database.
void BM_WidgetOnly(benchmark::State& state) {
    CategoryTree tree;
    for (auto _ : state) {
        tree.clearNodes();
        tree.addNode(-1, 1, QStringLiteral("全部分类"))->setExpanded(true);
        for (const BenchCategory& row : fixture->rows) {
            tree.addNode(row.pid, row.id, row.name)->setExpanded(true);
        }
    }
}
BENCHMARK(BM_WidgetOnly)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, BenchApplication::Widgets, [] {
        Fixture owned;
        fixture = &owned;
        benchmark::RunSpecifiedBenchmarks();
        fixture = nullptr;
    });
}
