// Farrow resampler throughput (complex and real, up and down) and multitone
// generation at 10 MHz.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "farrow.h"
#include "genSignalClass.h"

namespace {

constexpr int kInput = 1000000;

// range(0): output rate per 1000 input-rate units (1250 up, 800 down).
void BM_FarrowComplex(benchmark::State& state) {
    GenSignalClass obj;
    std::vector<std::complex<float>> x(kInput);
    for (int i = 0; i < kInput; ++i) x[i] = {std::cos(i * 0.01f), std::sin(i * 0.013f)};
    const double outRate = static_cast<double>(state.range(0)), inRate = 1000.0;
    std::vector<std::complex<float>> y(farrowOutputLength(kInput, outRate, inRate));
    int n = 0;
    for (auto _ : state) {
        obj.FarrowInterp(x.data(), kInput, outRate, inRate, y.data(), &n);
        benchmark::DoNotOptimize(y.data());
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FarrowComplex)->Arg(1250)->Arg(800)->Unit(benchmark::kMillisecond);

void BM_FarrowReal(benchmark::State& state) {
    GenSignalClass obj;
    std::vector<float> x(kInput);
    for (int i = 0; i < kInput; ++i) x[i] = std::cos(i * 0.01f);
    const double outRate = static_cast<double>(state.range(0)), inRate = 1000.0;
    int n = 0;
    for (auto _ : state) {
        float* y = nullptr;
        obj.FarrowInterp_real(x.data(), kInput, outRate, inRate, &y, &n);
        benchmark::DoNotOptimize(y);
        std::free(y);
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FarrowReal)->Arg(1250)->Arg(800)->Unit(benchmark::kMillisecond);

// range(0) tones 1 kHz apart at 10 MHz: one period of 20000 (even) samples,
// built at a slightly lower internal rate and resampled.
void BM_Multitone(benchmark::State& state) {
    GenSignalClass obj;
    MultitoneParams p;
    std::memset(&p, 0, sizeof p);
    p.toneCount = static_cast<int32_t>(state.range(0));
    p.toneSpacing = 1000.0;
    int n = 0;
    for (auto _ : state) {
        std::complex<float>* y = nullptr;
        benchmark::DoNotOptimize(obj.genMultitoneSig(&p, 10e6, &y, &n));
        std::free(y);
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Multitone)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace
