// Building the category tree of 1,000 categories in three levels: the real builder into the real
// tree widget, beside its parts: the bare engine running the same queries, and the widget filled
// from memory. The builder runs one query per category shown, which is what the figures weigh.

#include "controls/CategoryTree.h"
#include "tree/CategoryTreeBuilder.h"
#include "vault/Connection.h"
#include "vault/FreshVault.h"
#include "vault/Module.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidgetItem>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// 10 categories under the root, 9 under each of those, 10 under each of those: 1,000 in all.
constexpr int levelOne = 10;
constexpr int levelTwo = 9;
constexpr int levelThree = 10;
constexpr int categories = levelOne * (1 + levelTwo * (1 + levelThree));

struct Category {
    qint64 id;
    qint64 pid;
    QString name;
};

class Fixture {
public:
    Fixture() {
        const QString path = m_dir.path() + QStringLiteral("/DB.xml");
        createFreshVault(path);
        const QByteArray key = Connection::passwordOf(Connection::connectionTextFor(m_dir.path())).toUtf8();
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            fail("open");
        }
        sqlite3_key(m_raw, key.constData(), static_cast<int>(key.size()));
        fill();
        module.VaultConnection.setConnectionString(Connection::connectionTextFor(m_dir.path()));
        module.VaultConnection.open();
    }
    ~Fixture() { sqlite3_close_v2(m_raw); }
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    QString folder() const { return m_dir.path(); }
    sqlite3* raw() const { return m_raw; }

    Module module;
    std::vector<Category> rows; // in the order the builder meets them (pre-order)

private:
    [[noreturn]] void fail(const char* what) const {
        std::fprintf(stderr, "bench_tree fixture: %s: %s\n", what, sqlite3_errmsg(m_raw));
        std::abort();
    }

    void fill() {
        if (sqlite3_exec(m_raw, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
            fail("begin");
        }
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(m_raw, "INSERT INTO Quorvane_Type (PID, Name, Seq) VALUES (?, ?, 1)", -1, &insert, nullptr);
        auto add = [&](qint64 parent, const QString& name) {
            sqlite3_bind_int64(insert, 1, parent);
            sqlite3_bind_text16(insert, 2, name.utf16(), static_cast<int>(name.size() * 2), SQLITE_TRANSIENT);
            if (sqlite3_step(insert) != SQLITE_DONE) {
                fail("insert");
            }
            sqlite3_reset(insert);
            const qint64 id = sqlite3_last_insert_rowid(m_raw);
            rows.push_back({id, parent, name});
            return id;
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
        sqlite3_finalize(insert);
        if (sqlite3_exec(m_raw, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
            fail("commit");
        }
    }

    QTemporaryDir m_dir;
    sqlite3* m_raw = nullptr;
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

// The whole rebuild as the program runs it, into a tree that is not on screen.
void BM_GJTree(benchmark::State& state) {
    Fixture& f = fixture();
    CategoryTree tree;
    CategoryTreeBuilder builder(f.module, tree, f.folder());
    for (auto _ : state) {
        builder.GJTree();
    }
    if (tree.nodeCount() != categories + 1) {
        state.SkipWithError("wrong node count");
    }
    state.counters["queries"] = categories + 1;
}
BENCHMARK(BM_GJTree)->Unit(benchmark::kMillisecond);

// The same, with the tree on screen (offscreen platform): expanding visible nodes lays them out.
void BM_GJTree_Shown(benchmark::State& state) {
    Fixture& f = fixture();
    CategoryTree tree;
    tree.resize(217, 449);
    tree.show();
    QApplication::processEvents();
    CategoryTreeBuilder builder(f.module, tree, f.folder());
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
    Fixture& f = fixture();
    qint64 seen = 0;
    for (auto _ : state) {
        seen = 0;
        rawLevel(f.raw(), 1, seen);
    }
    if (seen != categories) {
        state.SkipWithError("wrong row count");
    }
}
BENCHMARK(BM_RawQueries)->Unit(benchmark::kMillisecond);

// The widget alone: the same nodes added from memory and expanded, no database.
void BM_WidgetOnly(benchmark::State& state) {
    Fixture& f = fixture();
    CategoryTree tree;
    for (auto _ : state) {
        tree.clearNodes();
        tree.addNode(-1, 1, QStringLiteral("全部分类"))->setExpanded(true);
        for (const Category& row : f.rows) {
            tree.addNode(row.pid, row.id, row.name)->setExpanded(true);
        }
    }
}
BENCHMARK(BM_WidgetOnly)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
