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
#include "support/BenchVault.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>

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

// The i-th entry of the vault: secrets of the lengths people use, Chinese included.
BenchEntry entryAt(int i) {
    return {QStringLiteral("账号 %1 的标题").arg(i),
            EncodeSecret(QStringLiteral("user%1@example.com").arg(i), Module::SecretKey),
            EncodeSecret(QStringLiteral("Pa55-密码-%1").arg(i), Module::SecretKey),
            QStringLiteral("https://www.example.com/login"),
            EncodeSecret(QStringLiteral("开户行：某某银行，预留手机 138 0000 %1。安全问题：第一所学校。").arg(i),
                         Module::SecretKey),
            QStringLiteral("网络账号")};
}

struct Fixture {
    BenchVault vault;
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

    // Two categories, so the listed one is not the whole table.
    Fixture() {
        const qint64 listed = vault.addCategory(1, QStringLiteral("网站"));
        const qint64 other = vault.addCategory(1, QStringLiteral("银行"));
        listedKey = QString::number(listed);
        vault.addEntries(listed, listedEntries, entryAt);
        vault.addEntries(other, otherEntries, [](int i) { return entryAt(listedEntries + i); });
        buildPane();
        pane->LoadEntryList(listedKey);
        shownKey = widgets.list->itemDataText(shownRow);
    }

    // The bare side runs on the pane's own connection, not on the vault's second one.
    sqlite3* raw() const { return vault.module().VaultConnection.handle(); }

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
        pane = std::make_unique<EntryPane>(vault.module(), platform, widgets, &window);
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
    return runBenchmarks(argc, argv, BenchApplication::Widgets, [] {
        Fixture data;
        fixture = &data;
        benchmark::RunSpecifiedBenchmarks();
        fixture = nullptr;
    });
}
