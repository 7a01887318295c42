#include "support/BenchVault.h"
#include "vault/Module.h"
#include "vault/SecretCipher.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

const QString& Key = Module::SecretKey; // the key every caller passes

// A typical account field: ASCII, Chinese and a symbol.
QString typicalText() {
    return QStringLiteral("张三zhang@qq.com");
}

QString longText() {
    const QString piece = QStringLiteral("备注Remark 1234，€😀 密码箱");
    QString text;
    while (text.size() < 1000)
        text += piece;
    return text.left(1000);
}

void encodeTypical(benchmark::State& state) {
    const QString text = typicalText().left(12);
    for (auto _ : state)
        benchmark::DoNotOptimize(EncodeSecret(text, Key));
}

void decodeTypical(benchmark::State& state) {
    const QString stored = EncodeSecret(typicalText().left(12), Key);
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeSecret(stored, Key));
}

void encodeLong(benchmark::State& state) {
    const QString text = longText();
    for (auto _ : state)
        benchmark::DoNotOptimize(EncodeSecret(text, Key));
}

void decodeLong(benchmark::State& state) {
    const QString stored = EncodeSecret(longText(), Key);
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeSecret(stored, Key));
}

BENCHMARK(encodeTypical);
BENCHMARK(decodeTypical);
BENCHMARK(encodeLong);
BENCHMARK(decodeLong);

} // namespace

int main(int argc, char** argv) {
    // The first call builds the code page tables; it runs once per process.
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(EncodeSecret(QStringLiteral("a"), Key));
    const std::chrono::duration<double, std::milli> built = std::chrono::steady_clock::now() - start;
    std::printf("code page tables built by the first call: %.2f ms\n", built.count());

    return runBenchmarks(argc, argv, BenchApplication::None);
}
