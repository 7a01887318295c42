// The backup before the first write of a run, at 100,000 entries, against what a byte copy of the
// same file costs on this disk: `cp` of DB.xml and `sync -f` of the copy, as a user would do it.

#include "support/BenchVault.h"
#include "vault/VaultBackup.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

constexpr int entries = 100000;

struct Fixture {
    BenchVault vault;

    Fixture() {
        vault.fillLoginScene(entries, QStringLiteral("master"));
        // The file as a user's long-used vault has it: every page written, the size settled.
        vault.exec("VACUUM");
    }
    QString dataFile() const { return vault.folder() + QStringLiteral("/DB.xml"); }
};

Fixture* fixture = nullptr;

void BM_Backup(benchmark::State& state) {
    Connection& connection = fixture->vault.module().VaultConnection;
    for (auto _ : state) {
        const QString written = VaultBackup::write(connection);
        state.PauseTiming();
        QFile::remove(written);
        state.ResumeTiming();
    }
}

void BM_CpAndSync(benchmark::State& state) {
    const QString copy = fixture->vault.folder() + QStringLiteral("/copy.xml");
    for (auto _ : state) {
        if (QProcess::execute(QStringLiteral("cp"), {fixture->dataFile(), copy}) != 0 ||
            QProcess::execute(QStringLiteral("sync"), {QStringLiteral("-f"), copy}) != 0) {
            benchFail("cp or sync failed");
        }
        state.PauseTiming();
        QFile::remove(copy);
        state.ResumeTiming();
    }
}

BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CpAndSync)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, BenchApplication::None, [] {
        Fixture owned;
        fixture = &owned;
        benchmark::AddCustomContext("file size (bytes)", std::to_string(QFile(owned.dataFile()).size()));
        runWithRatios({
            {"backup before the first write / cp + sync -f", "100,000 entries", "BM_Backup", "BM_CpAndSync", 2.0},
        });
        fixture = nullptr;
    });
}
