// The entry side at the size a heavy user reaches: listing a category of 10,000 entries into the
// real tick list, and showing one entry with its three secrets deciphered, each beside the bare
// engine running the same statement on the same connection.

#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatMemo.h"
#include "controls/SkinComboBox.h"
#include "entries/EntryPane.h"
#include "platform/Platform.h"
#include "vault/FreshVault.h"
#include "vault/Module.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int listedEntries = 10000;
constexpr int otherEntries = 5000;

// The desktop does nothing here: no handler that the benchmark runs talks to it.
struct QuietBoxes : MessageBoxes {
    BoxAnswer show(QWidget*, const QString&, const QString&, BoxButtons, BoxIcon) override { return BoxAnswer::Ok; }
};
struct QuietClipboard : Clipboard {
    void clear() override {}
    void setSecretText(const QString&) override {}
};
struct QuietShell : Shell {
    bool open(const QString&) override { return true; }
};
struct QuietRegistry : Registry {
    bool keyExists(RegistryRoot, const QString&) override { return false; }
    std::optional<RegistryValue> query(RegistryRoot, const QString&, const QString&) override { return {}; }
};
struct QuietProcesses : ProcessStarter {
    bool startDetached(const QString&) override { return false; }
};
struct QuietEnd : ProgramEnd {
    void endProgram(int) override {}
};

struct Fixture {
    QTemporaryDir dir;
    Module module;
    QuietBoxes boxes;
    QuietClipboard clipboard;
    QuietShell shell;
    QuietRegistry registry;
    QuietProcesses processes;
    QuietEnd end;
    Platform platform{boxes, clipboard, shell, registry, processes, end};
    QWidget window;
    EntryPaneWidgets widgets;
    std::unique_ptr<EntryPane> pane;
    QString listedKey;
    QString shownKey;
    int shownRow = listedEntries / 2;

    Fixture() {
        createFreshVault(dir.path() + QStringLiteral("/DB.xml"));
        module.VaultConnection.setConnectionString(Connection::connectionTextFor(dir.path()));
        module.VaultConnection.open();
        fill();
        buildPane();
        pane->LoadEntryList(listedKey);
        shownKey = widgets.list->itemDataText(shownRow);
    }

    sqlite3* raw() const { return module.VaultConnection.handle(); }

    void run(const char* sql) const {
        if (sqlite3_exec(raw(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "fixture: %s\n", sqlite3_errmsg(raw()));
            std::abort();
        }
    }

    // Two categories; entries with secrets of the lengths people use, Chinese included.
    void fill() {
        run("INSERT INTO Quorvane_Type (PID, Name, Seq) VALUES (1, '网站', 1), (1, '银行', 1)");
        const qint64 listed = sqlite3_last_insert_rowid(raw()) - 1;
        listedKey = QString::number(listed);
        run("BEGIN");
        sqlite3_stmt* add = nullptr;
        sqlite3_prepare_v2(raw(),
                           "INSERT INTO Quorvane_Pass (Type, Caption, Name, Pass, Www, Remark, Sort, Seq) "
                           "VALUES (?, ?, ?, ?, ?, ?, '网络账号', 1)",
                           -1, &add, nullptr);
        const auto bind = [add](int column, const QString& text) {
            sqlite3_bind_text16(add, column, text.utf16(), static_cast<int>(text.size() * 2), SQLITE_TRANSIENT);
        };
        for (int i = 0; i < listedEntries + otherEntries; ++i) {
            sqlite3_bind_int64(add, 1, i < listedEntries ? listed : listed + 1);
            bind(2, QStringLiteral("账号 %1 的标题").arg(i));
            bind(3, EncodeSecret(QStringLiteral("user%1@example.com").arg(i), Module::SecretKey));
            bind(4, EncodeSecret(QStringLiteral("Pa55-密码-%1").arg(i), Module::SecretKey));
            bind(5, QStringLiteral("https://www.example.com/login"));
            bind(6,
                 EncodeSecret(QStringLiteral("开户行：某某银行，预留手机 138 0000 %1。安全问题：第一所学校。").arg(i),
                              Module::SecretKey));
            if (sqlite3_step(add) != SQLITE_DONE) {
                std::fprintf(stderr, "fixture: %s\n", sqlite3_errmsg(raw()));
                std::abort();
            }
            sqlite3_reset(add);
        }
        sqlite3_finalize(add);
        run("COMMIT");
    }

    void buildPane() {
        widgets.tree = new CategoryTree(&window);
        widgets.list = new CheckListBox(&window);
        widgets.editCaption = new FlatEdit(&window);
        widgets.editName = new FlatEdit(&window);
        widgets.editPass = new FlatEdit(&window);
        widgets.editWww = new FlatEdit(&window);
        widgets.comboType = new SkinComboBox(&window);
        widgets.editRemark = new FlatMemo(&window);
        for (QPushButton** button :
             {&widgets.buttonRead, &widgets.buttonNew, &widgets.buttonDel, &widgets.buttonSave, &widgets.buttonCancel,
              &widgets.buttonCopy1, &widgets.buttonCopy2, &widgets.buttonFollow, &widgets.buttonView}) {
            *button = new QPushButton(&window);
        }
        widgets.list->setGeometry(223, 47, 233, 449);
        pane = std::make_unique<EntryPane>(module, platform, widgets, &window);
        pane->connectHandlers();
        window.resize(756, 501);
        window.show();
    }
};

Fixture* fixture = nullptr;

void BM_LoadEntryList(benchmark::State& state) {
    for (auto _ : state) {
        fixture->pane->LoadEntryList(fixture->listedKey);
        benchmark::DoNotOptimize(fixture->widgets.list->itemCount());
    }
    if (fixture->widgets.list->itemCount() != listedEntries) {
        state.SkipWithError("wrong number of entries listed");
    }
    state.counters["entries"] = listedEntries;
}

void BM_RawListCategory(benchmark::State& state) {
    const QByteArray sql = Statements::entriesOfCategory(fixture->listedKey).toUtf8();
    int rows = 0;
    for (auto _ : state) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(fixture->raw(), sql.constData(), static_cast<int>(sql.size()), &stmt, nullptr);
        rows = 0;
        const int caption = 2; // Quorvane_Pass: ID, Type, Caption, ...
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 0));
            benchmark::DoNotOptimize(sqlite3_column_text16(stmt, caption));
            ++rows;
        }
        sqlite3_finalize(stmt);
    }
    if (rows != listedEntries) {
        state.SkipWithError("wrong number of rows");
    }
}

void BM_ShowEntry(benchmark::State& state) {
    CheckListBox* list = fixture->widgets.list;
    if (list->itemCount() != listedEntries) {
        fixture->pane->LoadEntryList(fixture->listedKey);
    }
    list->setCurrentRow(fixture->shownRow);
    for (auto _ : state) {
        fixture->pane->ShowEntry();
        benchmark::DoNotOptimize(fixture->widgets.editPass->text());
    }
    if (fixture->widgets.editPass->text() != QStringLiteral("Pa55-密码-%1").arg(fixture->shownRow)) {
        state.SkipWithError("the entry was not shown");
    }
}

void BM_RawShowEntry(benchmark::State& state) {
    const QByteArray sql = Statements::entry(fixture->shownKey).toUtf8();
    for (auto _ : state) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(fixture->raw(), sql.constData(), static_cast<int>(sql.size()), &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int column = 2; column <= 7; ++column) {
                benchmark::DoNotOptimize(sqlite3_column_text16(stmt, column));
            }
        }
        sqlite3_finalize(stmt);
    }
}

// The three secrets alone, to tell the cipher's share of showing an entry.
void BM_DecodeThreeSecrets(benchmark::State& state) {
    const QString name = EncodeSecret(QStringLiteral("user5000@example.com"), Module::SecretKey);
    const QString pass = EncodeSecret(QStringLiteral("Pa55-密码-5000"), Module::SecretKey);
    const QString remark = EncodeSecret(
        QStringLiteral("开户行：某某银行，预留手机 138 0000 5000。安全问题：第一所学校。"), Module::SecretKey);
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecodeSecret(name, Module::SecretKey));
        benchmark::DoNotOptimize(DecodeSecret(pass, Module::SecretKey));
        benchmark::DoNotOptimize(DecodeSecret(remark, Module::SecretKey));
    }
}

BENCHMARK(BM_LoadEntryList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawListCategory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowEntry)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawShowEntry)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeThreeSecrets)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture data;
    fixture = &data;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fixture = nullptr;
    return 0;
}
