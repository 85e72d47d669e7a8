// AWGN at 10 MHz with 1 MHz bandwidth, 10^6 and 10^7 samples: the whole
// generator, and drawing the raw noise alone to show what the draws cost.
#include <benchmark/benchmark.h>

#include <complex>
#include <cstdlib>
#include <vector>

#include "gaussianNoise.h"
#include "genSignalClass.h"

namespace {

constexpr double kRate = 10e6;
constexpr double kBandwidth = 1e6;
constexpr int kTaps = 128;  // the filter's start-up span is kTaps - 1 raw samples

void setRate(benchmark::State& state, int64_t n) {
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}

void BM_AwgnGenerate(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    GenSignalClass obj;
    const AWGNParams params{kBandwidth, n / kRate};
    std::vector<std::complex<float>> out(static_cast<size_t>(n) + 300);
    int count = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(obj.genAWGNSig(&params, kRate, out.data(), &count));
        benchmark::ClobberMemory();
    }
    if (count != n) state.SkipWithError("unexpected sample count");
    setRate(state, n);
}

// Stage 1: N + 127 complex raw samples, two Gaussian values each.
void BM_AwgnDraw(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<std::complex<float>> raw(static_cast<size_t>(n) + kTaps - 1);
    for (auto _ : state) {
        for (auto& s : raw) {
            const float re = static_cast<float>(randn());
            const float im = static_cast<float>(randn());
            s = {re, im};
        }
        benchmark::ClobberMemory();
    }
    setRate(state, n);
}

BENCHMARK(BM_AwgnGenerate)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AwgnDraw)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
