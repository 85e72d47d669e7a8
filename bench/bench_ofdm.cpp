// OFDM frames of about 10^6 samples: N = 64 and N = 1024, QPSK and QAM256,
// with and without the cross-fade; and the bare inverse FFT.
#include <benchmark/benchmark.h>

#include <complex>
#include <cstdlib>
#include <vector>

#include "genSignalClass.h"
#include "ofdmMod.h"

namespace {

void BM_OfdmFrame(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    OFDMParams p{};
    p.fftSize = n;
    p.guardLow = n * 3 / 32;  // 6 for N = 64, 96 for N = 1024
    p.guardHigh = p.guardLow - 1;
    p.cpPercent = 25;
    p.numSymbols = (1000000 + n + n / 4 - 1) / (n + n / 4);
    p.modType = static_cast<DigitalModulType>(state.range(1));
    p.windowing = static_cast<uint8_t>(state.range(2));
    p.nullDC = 1;
    GenSignalClass obj;
    int count = 0;
    for (auto _ : state) {
        std::complex<float>* samples = nullptr;
        benchmark::DoNotOptimize(obj.genOFDMSig(&p, 20e6, &samples, &count));
        std::free(samples);
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * count / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OfdmFrame)
    ->ArgNames({"N", "mod", "window"})
    ->ArgsProduct({{64, 1024}, {QPSK, QAM256}, {0, 1}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Ifft(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<std::complex<float>> src(static_cast<size_t>(n)), x;
    for (int i = 0; i < n; ++i) src[i] = {static_cast<float>(i % 7) - 3.0f, static_cast<float>(i % 5) - 2.0f};
    for (auto _ : state) {
        x = src;  // fresh input: repeated 1/N scaling would end in subnormals
        my_ifft(x.data(), n);
        benchmark::ClobberMemory();
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Ifft)->RangeMultiplier(16)->Range(64, 65536);

}  // namespace
