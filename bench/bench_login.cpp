// From Enter on the login to the main window painted, on a vault of 1,000 categories and 100,000
// entries: the real login checks the password and counts the entries, the real main window builds
// its tree and paints. Beside the limit: the same reads on the bare engine (the login row, the
// entries counted with count(*), every category in one query), the tree filled from those rows in
// one go, and the same window painted.

#include "app/MainWindow.h"
#include "app/frmLogin.h"
#include "controls/CategoryTree.h"
#include "support/BareTree.h"
#include "support/BenchVault.h"
#include "support/QuietPlatform.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHash>
#include <QLineEdit>
#include <QTreeWidgetItem>

#include <memory>

namespace {

constexpr int entries = 100000;
const QString password = QStringLiteral("Secret-口令-1");

struct Fixture {
    BenchVault vault;
    QuietPlatform desktop;
    std::unique_ptr<Main> window;

    Fixture() {
        vault.fillLoginScene(entries, password);
        window = std::make_unique<Main>(vault.module(), desktop.platform(), vault.folder());
        window->show();
        QApplication::processEvents();
    }
};

Fixture* fixture = nullptr;

void BM_EnterToMainWindow(benchmark::State& state) {
    Main& window = *fixture->window;
    for (auto _ : state) {
        state.PauseTiming();
        auto login = std::make_unique<frmLogin>(fixture->vault.module(), fixture->desktop.platform(),
                                                fixture->vault.folder(), &window);
        login->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(password);
        state.ResumeTiming();
        login->cmdOK_Click();
        if (login->result() != QDialog::Accepted) {
            state.SkipWithError("the login refused the password");
            break;
        }
        window.GJTree();
        window.repaint();
        state.PauseTiming();
        login.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_EnterToMainWindow)->Unit(benchmark::kMillisecond);

// One statement on the bare engine, its first row handed to `read`.
template <typename Read> void rawFirstRow(sqlite3* db, const char* sql, Read read) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    if (sqlite3_step(statement) == SQLITE_ROW) {
        read(statement);
    }
    sqlite3_finalize(statement);
}

void BM_RawEnterToMainWindow(benchmark::State& state) {
    Main& window = *fixture->window;
    sqlite3* db = fixture->vault.module().VaultConnection.handle();
    CategoryTree& tree = *window.tree();
    for (auto _ : state) {
        bool admitted = false;
        rawFirstRow(db, "Select * from Quorvane_Login Where ID=1", [&](sqlite3_stmt* row) {
            const QString stored(static_cast<const QChar*>(sqlite3_column_text16(row, 1)),
                                 sqlite3_column_bytes16(row, 1) / 2);
            admitted = DecodeSecret(stored, Module::SecretKey) == password + QStringLiteral("0");
        });
        qint64 count = 0;
        rawFirstRow(db, "SELECT count(*) FROM Quorvane_Pass",
                    [&](sqlite3_stmt* row) { count = sqlite3_column_int64(row, 0); });
        if (!admitted || count != entries) {
            state.SkipWithError("the bare login failed");
            break;
        }

        tree.clearNodes();
        fillBareCategoryTree(db, tree);
        window.repaint();
    }
}
BENCHMARK(BM_RawEnterToMainWindow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, BenchApplication::Widgets, [] {
        Fixture data;
        fixture = &data;
        runWithRatios({
            {"Enter on the login -> main window painted", "1,000 cat., 100,000 entries", "BM_EnterToMainWindow",
             "BM_RawEnterToMainWindow", 1.5},
        });
        fixture = nullptr;
    });
}
