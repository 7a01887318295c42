// The find dialog at the size a heavy user reaches: 100,000 entries in 1,000 categories. A
// keystroke (the field's text changes, the matches are found, listed and painted) beside its
// limit, one scan of the same rows on the bare engine: what the simplest search that asks the
// file on each keystroke would cost at least. Opening the dialog (reading and deciphering every
// searched field once) beside the same scan.

#include "entries/frmFind.h"
#include "search/EntryIndex.h"
#include "support/BenchVault.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTreeView>

#include <array>
#include <memory>

namespace {

constexpr int entryCount = 100000;

const std::array<const char*, 20> titles{
    "支付宝", "银行卡", "工商银行", "招商银行信用卡", "微信",   "淘宝", "京东",   "网易邮箱", "路由器", "公司 VPN",
    "Gmail",  "GitHub", "Steam",    "中国移动",       "水电费", "社保", "医保卡", "公积金",   "学信网", "12306 火车票"};

BenchEntry entryAt(int i) {
    return {QStringLiteral("%1 %2").arg(QString::fromUtf8(titles[static_cast<size_t>(i) % titles.size()])).arg(i),
            EncodeSecret(QStringLiteral("user%1@example.com").arg(i), Module::SecretKey),
            EncodeSecret(QStringLiteral("Pa55-密码-%1").arg(i), Module::SecretKey),
            QStringLiteral("https://www.example%1.com/login").arg(i % 1000),
            EncodeSecret(QStringLiteral("开户行：某某银行，预留手机 138 0000 %1。安全问题：第一所学校。").arg(i),
                         Module::SecretKey),
            QStringLiteral("网络账号")};
}

// What a user types, one keystroke at a time: pinyin of a title, then English, then characters.
const std::array<QString, 14> keystrokes{QStringLiteral("z"),        QStringLiteral("zh"),    QStringLiteral("zhi"),
                                         QStringLiteral("zhif"),     QStringLiteral("zhifu"), QStringLiteral("zhifub"),
                                         QStringLiteral("zhifubao"), QStringLiteral("g"),     QStringLiteral("gi"),
                                         QStringLiteral("git"),      QStringLiteral("gith"),  QStringLiteral("工"),
                                         QStringLiteral("工商"),     QStringLiteral("yh")};

struct Fixture {
    BenchVault vault;
    std::unique_ptr<frmFind> dialog;
    QLineEdit* field = nullptr;
    QTreeView* matches = nullptr;

    Fixture() {
        const std::vector<BenchCategory> categories = vault.addCategoryTree(benchTree1000);
        const int perCategory = entryCount / static_cast<int>(categories.size());
        for (size_t c = 0; c < categories.size(); ++c) {
            const int first = static_cast<int>(c) * perCategory;
            vault.addEntries(categories[c].id, perCategory, [first](int i) { return entryAt(first + i); });
        }
        openDialog();
    }

    void openDialog() {
        dialog = std::make_unique<frmFind>(vault.module(), QString());
        dialog->Form_Load();
        dialog->show();
        field = dialog->findChild<QLineEdit*>(QStringLiteral("Edit_Find"));
        matches = dialog->findChild<QTreeView*>(QStringLiteral("List_Find"));
    }

    sqlite3* raw() const { return vault.module().VaultConnection.handle(); }
};

Fixture* fixture = nullptr;

// One keystroke per iteration, round the typed sequence: the matches found, listed and painted.
void BM_Keystroke(benchmark::State& state) {
    size_t next = 0;
    qint64 listed = 0;
    for (auto _ : state) {
        fixture->field->setText(keystrokes[next]);
        QApplication::processEvents();
        fixture->dialog->repaint();
        listed += fixture->matches->model()->rowCount();
        next = (next + 1) % keystrokes.size();
    }
    if (listed == 0) {
        state.SkipWithError("nothing found");
    }
}

// The keystroke that finds the most: one letter, matched against every field of every entry.
void BM_KeystrokeOneLetter(benchmark::State& state) {
    for (auto _ : state) {
        fixture->field->setText(QStringLiteral("z"));
        QApplication::processEvents();
        fixture->dialog->repaint();
        fixture->field->setText(QStringLiteral("y"));
        QApplication::processEvents();
        fixture->dialog->repaint();
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

// The search alone, without the list.
void BM_FindOnly(benchmark::State& state) {
    const EntryIndex index(fixture->vault.module());
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(index.find(keystrokes[next]));
        next = (next + 1) % keystrokes.size();
    }
}

// Opening the dialog: every searched field read and deciphered once.
void BM_OpenIndex(benchmark::State& state) {
    for (auto _ : state) {
        const EntryIndex index(fixture->vault.module());
        benchmark::DoNotOptimize(index.size());
    }
}

// The limit: one scan of the same rows and columns on the bare engine, every text read.
void BM_RawScan(benchmark::State& state) {
    const QByteArray sql = Statements::searchEntries().toUtf8();
    qint64 rows = 0;
    for (auto _ : state) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(fixture->raw(), sql.constData(), static_cast<int>(sql.size()), &stmt, nullptr);
        rows = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int column = 2; column <= 5; ++column) {
                benchmark::DoNotOptimize(sqlite3_column_text16(stmt, column));
            }
            ++rows;
        }
        sqlite3_finalize(stmt);
    }
    if (rows != entryCount) {
        state.SkipWithError("wrong number of rows");
    }
}

BENCHMARK(BM_Keystroke)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeOneLetter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawScan)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, BenchApplication::Widgets, [] {
        Fixture data;
        fixture = &data;
        runWithRatios({
            {"a keystroke in the find dialog -> painted", "100,000 entries", "BM_Keystroke", "BM_RawScan", 2.0},
            {"two one-letter keystrokes -> painted", "100,000 entries", "BM_KeystrokeOneLetter", "BM_RawScan", 4.0},
            {"the search alone, per keystroke", "100,000 entries", "BM_FindOnly", "BM_RawScan", 2.0},
            {"opening the dialog (read, decipher)", "100,000 entries", "BM_OpenIndex", "BM_RawScan", 10.0},
        });
        fixture = nullptr;
    });
}
