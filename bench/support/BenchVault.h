#pragma once

#include "vault/Module.h"

#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct sqlite3;

// The category trees the benchmarks walk, three levels deep: how many categories each category
// of a level holds. 1,000: 10 under the root, 9 under each of those, 10 under each of those;
// 5,000: 8, 24 and 25.
struct BenchTreeShape {
    int levelOne;
    int levelTwo;
    int levelThree;
    constexpr int categories() const { return levelOne * (1 + levelTwo * (1 + levelThree)); }
};
inline constexpr BenchTreeShape benchTree1000{10, 9, 10};
inline constexpr BenchTreeShape benchTree5000{8, 24, 25};
static_assert(benchTree1000.categories() == 1000 && benchTree5000.categories() == 5000);

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
    // The categories of a tree shape under the root, named "分类 a", "分类 a.b", "分类 a.b.c", in
    // one transaction; returns them in the order a depth-first walk meets them.
    std::vector<BenchCategory> addCategoryTree(const BenchTreeShape& shape = benchTree1000) const;
    // Stores the master password (as the password dialog does, with RootSeq 0).
    void setMasterPassword(const QString& password) const;
    // count entries (Seq 1) in category, entryAt(0) to entryAt(count - 1) in that order, in one
    // transaction.
    void addEntries(qint64 category, int count, const std::function<BenchEntry(int)>& entryAt) const;
    // What a user with a large vault logs into: 1,000 categories, and entryCount web accounts in
    // one more category, "大类", under a master password.
    void fillLoginScene(int entryCount, const QString& password) const;

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

// Keeps each benchmark's time per iteration (in ms) for the ratio table: the median of the
// repetitions when there are several (with --benchmark_report_aggregates_only the single runs
// never reach the reporter), else the one run.
class TimesReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double real = 0; // ms per iteration
        double cpu = 0;
    };
    std::map<std::string, Times> milliseconds;

    void ReportRuns(const std::vector<Run>& runs) override;
};

// One line of the table a benchmark program ends with: our operation against its limit, the
// same work on the bare engine and bare widgets, and the ratio the program must stay within.
struct RatioLine {
    const char* operation;
    const char* size;
    const char* ours;  // benchmark name
    const char* limit; // benchmark name
    double goal;       // the ratio ours / limit must not exceed
};

// Runs the selected benchmarks, then prints the table of those lines whose two benchmarks ran.
void runWithRatios(const std::vector<RatioLine>& lines);
