#pragma once

#include "vault/Module.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <vector>

struct sqlite3;

// The category tree the benchmarks walk: 10 categories under the root, 9 under each of those,
// 10 under each of those: 1,000 in all, three levels deep.
inline constexpr int benchTreeLevelOne = 10;
inline constexpr int benchTreeLevelTwo = 9;
inline constexpr int benchTreeLevelThree = 10;
inline constexpr int benchTreeCategories = benchTreeLevelOne * (1 + benchTreeLevelTwo * (1 + benchTreeLevelThree));

struct BenchCategory {
    qint64 id;
    qint64 pid;
    QString name;
};

// The texts of one Quorvane_Pass row, stored as given (secrets already enciphered by the caller).
struct BenchEntry {
    QString caption;
    QString name;
    QString pass;
    QString www;
    QString remark;
    QString sort;
};

// Prints what failed with the engine's last message and ends the process: a benchmark on a
// half-filled vault would report figures that mean nothing.
[[noreturn]] void benchFail(const char* what, sqlite3* db = nullptr);

// A temporary program folder with a fresh DB.xml, module().VaultConnection open on it, and a
// keyed connection of its own, opened with the same flags as the program's, for filling the file
// and for the bare-engine side of the comparisons. Removed at destruction.
class BenchVault {
public:
    BenchVault();
    ~BenchVault();
    BenchVault(const BenchVault&) = delete;
    BenchVault& operator=(const BenchVault&) = delete;

    QString folder() const { return m_dir.path(); }
    Module& module() { return m_module; }
    const Module& module() const { return m_module; }
    sqlite3* raw() const { return m_raw; }

    // Runs statements without parameters on the own connection.
    void exec(const char* sql) const;

    // One category (Seq 1) under parent; returns its ID.
    qint64 addCategory(qint64 parent, const QString& name) const;
    // The 1,000 categories under the root, named "分类 a", "分类 a.b", "分类 a.b.c", in one
    // transaction; returns them in the order a depth-first walk meets them.
    std::vector<BenchCategory> addCategoryTree() const;
    // count entries (Seq 1) in category, entryAt(0) to entryAt(count - 1) in that order, in one
    // transaction.
    void addEntries(qint64 category, int count, const std::function<BenchEntry(int)>& entryAt) const;

private:
    QTemporaryDir m_dir;
    Module m_module;
    sqlite3* m_raw = nullptr;
};

// Whether a program's benchmarks need an application object. It is not free for the others: with
// one alive, the bare-engine listing of bench_vault, which builds a QString per row, takes about
// half as long again (3.7 ms against 2.4 ms), time spent in QString's constructor.
enum class BenchApplication {
    None,
    Widgets, // a QApplication, on the offscreen platform unless QT_QPA_PLATFORM says otherwise
};

// The whole main() of a benchmark program: the application object asked for, the benchmark
// flags (an unrecognised one ends with 1), then run, which builds what the benchmarks share and
// calls benchmark::RunSpecifiedBenchmarks itself; without run, the selected benchmarks run as
// they are. A failure thrown while building is printed and ends with 1.
int runBenchmarks(int argc, char** argv, BenchApplication application, const std::function<void()>& run = {});
