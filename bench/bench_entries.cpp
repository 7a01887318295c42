// The entry side at the size a heavy user reaches: clicking a category of 100,000 entries (the
// list filled through the data layer and painted), the tick list's fill alone, and showing one
// entry with its three secrets deciphered. Each beside its limit: the same statement on the bare
// engine, on the same connection, and a bare list widget with uniform item sizes.

#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatMemo.h"
#include "controls/SkinComboBox.h"
#include "entries/EntryPane.h"
#include "support/BenchVault.h"
#include "support/QuietPlatform.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>

#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int listedEntries = 100000;
constexpr int otherEntries = 5000;

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
    QuietPlatform desktop;
    QWidget window;
    EntryPaneWidgets widgets;
    std::unique_ptr<EntryPane> pane;
    qint64 listedKey = 0;
    qint64 shownKey = 0;
    int shownRow = listedEntries / 2;

    // Two categories, so the listed one is not the whole table.
    Fixture() {
        const qint64 listed = vault.addCategory(1, QStringLiteral("网站"));
        const qint64 other = vault.addCategory(1, QStringLiteral("银行"));
        listedKey = listed;
        vault.addEntries(listed, listedEntries, entryAt);
        vault.addEntries(other, otherEntries, [](int i) { return entryAt(listedEntries + i); });
        buildPane();
        pane->LoadEntryList(listedKey);
        shownKey = widgets.list->itemData(shownRow);
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
        pane = std::make_unique<EntryPane>(vault.module(), desktop.platform(), widgets, &window);
        pane->connectHandlers();
        window.resize(756, 501);
        window.show();
    }
};

Fixture* fixture = nullptr;

// Lets the list lay itself out and paints it, as the screen would show it after the click.
void paintList(QListWidget& list) {
    QApplication::processEvents();
    list.repaint();
}

// The click on a category, as the tree's handler runs it, until the list is painted.
void BM_Click(benchmark::State& state) {
    for (auto _ : state) {
        fixture->pane->LoadEntryList(fixture->listedKey);
        paintList(*fixture->widgets.list);
    }
    if (fixture->widgets.list->itemCount() != listedEntries) {
        state.SkipWithError("wrong number of entries listed");
    }
    state.counters["entries"] = listedEntries;
}

// A bare list widget where the tick list stands, with uniform item sizes.
struct BareList {
    QListWidget list{&fixture->window};
    BareList() {
        list.setGeometry(fixture->widgets.list->geometry());
        list.setFont(fixture->widgets.list->font());
        list.setUniformItemSizes(true);
        list.show();
        fixture->widgets.list->hide();
    }
    ~BareList() { fixture->widgets.list->show(); }
    void add(const QString& text, qint64 key) {
        auto* item = new QListWidgetItem(text);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setData(Qt::UserRole, QVariant::fromValue<qint64>(key));
        list.addItem(item);
    }
};

// The limit of the click: statement 11 on the bare engine, ID and Caption of each row into the
// bare list, painted.
void BM_RawClick(benchmark::State& state) {
    BareList bare;
    const QByteArray sql = Statements::entriesOfCategory(fixture->listedKey).toUtf8();
    for (auto _ : state) {
        bare.list.clear();
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(fixture->raw(), sql.constData(), static_cast<int>(sql.size()), &stmt, nullptr);
        const int caption = 2; // Quorvane_Pass: ID, Type, Caption, ...
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            bare.add(QString(static_cast<const QChar*>(sqlite3_column_text16(stmt, caption)),
                             sqlite3_column_bytes16(stmt, caption) / 2),
                     sqlite3_column_int64(stmt, 0));
        }
        sqlite3_finalize(stmt);
        paintList(bare.list);
    }
    if (bare.list.count() != listedEntries) {
        state.SkipWithError("wrong number of rows");
    }
}

// The captions and keys of the listed category, for the fills from memory.
struct ListedRows {
    std::vector<std::pair<QString, qint64>> rows;
    ListedRows() {
        rows.reserve(listedEntries);
        for (int i = 0; i < fixture->widgets.list->itemCount(); ++i) {
            rows.emplace_back(fixture->widgets.list->item(i)->text(), fixture->widgets.list->itemData(i));
        }
    }
};

// The tick list's fill alone, from memory, until painted ...
void BM_ListFill(benchmark::State& state) {
    fixture->pane->LoadEntryList(fixture->listedKey);
    const ListedRows listed;
    CheckListBox& list = *fixture->widgets.list;
    for (auto _ : state) {
        list.clearItems();
        for (const auto& [caption, key] : listed.rows) {
            list.addItemWithData(caption, key);
        }
        paintList(list);
    }
}

// ... and the bare list's.
void BM_UniformFill(benchmark::State& state) {
    fixture->pane->LoadEntryList(fixture->listedKey);
    const ListedRows listed;
    BareList bare;
    for (auto _ : state) {
        bare.list.clear();
        for (const auto& [caption, key] : listed.rows) {
            bare.add(caption, key);
        }
        paintList(bare.list);
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

BENCHMARK(BM_Click)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawClick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UniformFill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowEntry)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawShowEntry)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeThreeSecrets)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, BenchApplication::Widgets, [] {
        Fixture data;
        fixture = &data;
        runWithRatios({
            {"click a category -> list painted", "100,000 in it", "BM_Click", "BM_RawClick", 1.5},
            {"the list widget's fill alone", "100,000", "BM_ListFill", "BM_UniformFill", 1.5},
        });
        fixture = nullptr;
    });
}
