// Building the category tree: the real builder into the real tree widget (one query per
// category), beside the limit: one query for every category on the bare engine and the widget
// filled from its rows in one go. At 5,000 categories, and at 1,000, which must not get slower.

#include "controls/CategoryTree.h"
#include "support/BareTree.h"
#include "support/BenchVault.h"
#include "tree/CategoryTreeBuilder.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHash>
#include <QTreeWidgetItem>

#include <memory>
#include <vector>

namespace {

struct Vault {
    explicit Vault(const BenchTreeShape& treeShape) : shape(treeShape) {}
    BenchTreeShape shape;
    BenchVault vault;
    std::vector<BenchCategory> rows = vault.addCategoryTree(shape); // in the order the builder meets them
};

std::unique_ptr<Vault> small; // 1,000 categories
std::unique_ptr<Vault> large; // 5,000 categories

Vault& vaultFor(const benchmark::State& state) {
    return state.range(0) == 5000 ? *large : *small;
}

// A tree on screen (offscreen platform), the size of the main window's.
struct ShownTree {
    CategoryTree tree;
    ShownTree() {
        tree.resize(217, 449);
        tree.show();
        QApplication::processEvents();
    }
};

// The whole rebuild as the program runs it, then the tree painted.
void BM_GJTree(benchmark::State& state) {
    Vault& v = vaultFor(state);
    ShownTree shown;
    CategoryTreeBuilder builder(v.vault.module(), shown.tree, v.vault.folder());
    for (auto _ : state) {
        builder.GJTree();
        shown.tree.repaint();
    }
    if (shown.tree.nodeCount() != v.shape.categories() + 1) {
        state.SkipWithError("wrong node count");
    }
    state.counters["queries"] = v.shape.categories() + 1;
}
BENCHMARK(BM_GJTree)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

// The limit: one query for all categories on the bare engine, the nodes made from its rows and
// put into the tree in one go, every node expanded, then the tree painted.
void BM_OneQueryAndWidget(benchmark::State& state) {
    Vault& v = vaultFor(state);
    ShownTree shown;
    QTreeWidget& tree = shown.tree;
    sqlite3* db = v.vault.raw();
    int nodes = 0;
    for (auto _ : state) {
        tree.clear();
        nodes = fillBareCategoryTree(db, tree);
        tree.repaint();
    }
    if (nodes != v.shape.categories() + 1) {
        state.SkipWithError("wrong node count");
    }
}
BENCHMARK(BM_OneQueryAndWidget)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

// The parts of the builder's time: its 1,001 or 5,001 statements on the bare engine, each
// prepared anew, reading ID and Name, depth first ...
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
    Vault& v = vaultFor(state);
    qint64 seen = 0;
    for (auto _ : state) {
        seen = 0;
        rawLevel(v.vault.raw(), 1, seen);
    }
    if (seen != v.shape.categories()) {
        state.SkipWithError("wrong row count");
    }
}
BENCHMARK(BM_RawQueries)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

// ... and the tree control alone: the same nodes added from memory one by one and expanded.
void BM_WidgetOnly(benchmark::State& state) {
    Vault& v = vaultFor(state);
    ShownTree shown;
    for (auto _ : state) {
        shown.tree.clearNodes();
        shown.tree.addNode(-1, 1, QStringLiteral("全部分类"))->setExpanded(true);
        for (const BenchCategory& row : v.rows) {
            shown.tree.addNode(row.pid, row.id, row.name)->setExpanded(true);
        }
        shown.tree.repaint();
    }
}
BENCHMARK(BM_WidgetOnly)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, BenchApplication::Widgets, [] {
        small = std::make_unique<Vault>(benchTree1000);
        large = std::make_unique<Vault>(benchTree5000);
        runWithRatios({
            {"tree build", "5,000 categories", "BM_GJTree/5000", "BM_OneQueryAndWidget/5000", 2.0},
            {"tree build", "1,000 categories", "BM_GJTree/1000", "BM_OneQueryAndWidget/1000", 2.0},
        });
        large.reset();
        small.reset();
    });
}
