// The login of a vault protected by the master password beside the same login of an unprotected
// one: from the file closed to the password admitted, on a vault of 1,000 categories and 10,000
// entries. The unprotected side opens the file with the database password, as start-up does
// before the login; the protected side derives the key from the typed password at the program's
// own cost (Argon2id, 64 MiB) in the login's OK. The derivation is the expected difference.

#include "app/frmLogin.h"
#include "support/BenchVault.h"
#include "support/QuietPlatform.h"
#include "vault/ProtectedVault.h"
#include "vault/VaultKey.h"
#include "vault/VaultRekey.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>

#include <cstdio>
#include <memory>

namespace {

constexpr int entries = 10000;
const QString password = QStringLiteral("Secret-口令-1");

struct Fixture {
    BenchVault plain;
    BenchVault protectedVault;
    QuietPlatform desktop;

    Fixture() {
        plain.fillLoginScene(entries, password);
        protectedVault.fillLoginScene(entries, password);
        Connection& connection = protectedVault.module().VaultConnection;
        VaultRekey::rekey(connection, ProtectedVault::newKeyFor(password));
        plain.module().VaultConnection.close();
        connection.close();
    }
};

Fixture* fixture = nullptr;

void login(benchmark::State& state, BenchVault& vault, bool openFirst) {
    Connection& connection = vault.module().VaultConnection;
    for (auto _ : state) {
        if (openFirst) {
            connection.open();
        }
        frmLogin dialog(vault.module(), fixture->desktop.platform(), vault.folder());
        dialog.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(password);
        dialog.cmdOK_Click();
        if (dialog.result() != QDialog::Accepted) {
            state.SkipWithError("the login refused the password");
            break;
        }
        state.PauseTiming();
        connection.close();
        state.ResumeTiming();
    }
}

void BM_LoginUnprotected(benchmark::State& state) {
    login(state, fixture->plain, true);
}
BENCHMARK(BM_LoginUnprotected)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void BM_LoginProtected(benchmark::State& state) {
    login(state, fixture->protectedVault, false);
}
BENCHMARK(BM_LoginProtected)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The derivation alone, at the program's cost, on this machine.
void BM_DeriveKey(benchmark::State& state) {
    const VaultKey::Header header = VaultKey::newHeader(VaultKey::programCost());
    for (auto _ : state) {
        benchmark::DoNotOptimize(VaultKey::derive(password, header));
    }
}
BENCHMARK(BM_DeriveKey)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, BenchApplication::Widgets, [] {
        Fixture data;
        fixture = &data;
        TimesReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        double plain = -1;
        double guarded = -1;
        for (const auto& [name, time] : reporter.milliseconds) {
            if (name.rfind("BM_LoginUnprotected", 0) == 0) {
                plain = time.real;
            } else if (name.rfind("BM_LoginProtected", 0) == 0) {
                guarded = time.real;
            }
        }
        if (plain >= 0 && guarded >= 0) {
            std::printf(
                "\nlogin, file closed -> admitted: unprotected %.1f ms, protected %.1f ms (difference %.1f ms)\n",
                plain, guarded, guarded - plain);
        }
        fixture = nullptr;
    });
}
