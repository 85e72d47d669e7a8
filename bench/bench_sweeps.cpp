// FM, step-sweep and ramp-sweep generation at 10^7 samples, wall-clock
// time: the libm calls run on OpenMP threads.
#include <benchmark/benchmark.h>

#include <complex>
#include <cstdlib>
#include <vector>

#include "genSignalClass.h"

namespace {

constexpr int kSamples = 10000000;

void setRate(benchmark::State& state, int n) {
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}

void BM_FmGeneration(benchmark::State& state) {
    GenSignalClass obj;
    // 1 Hz at 10 MHz: one period of 10^7 samples.
    const FMModParams params{1.0, 2e6, static_cast<int32_t>(state.range(0))};
    int n = 0;
    for (auto _ : state) {
        std::complex<float>* samples = nullptr;
        benchmark::DoNotOptimize(obj.genFMSig(&params, 1e7, &samples, &n));
        std::free(samples);
    }
    setRate(state, n);
}
BENCHMARK(BM_FmGeneration)->DenseRange(1, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StepSweepGeneration(benchmark::State& state) {
    GenSignalClass obj;
    // 1000 steps of 10^4 samples at 10 MHz.
    const StepSweepParams params{-2e6, 2e6, 1000, 1e-3};
    std::vector<std::complex<float>> out(kSamples + 300);
    int n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(obj.genStepSweepSig(&params, 1e7, out.data(), &n));
    setRate(state, n);
}
BENCHMARK(BM_StepSweepGeneration)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RampSweepGeneration(benchmark::State& state) {
    GenSignalClass obj;
    // A ramp over the whole second, or over half of it followed by silence.
    const RampSweepParams params{4e6, state.range(0) == 0 ? 1.0 : 0.5, 1.0};
    std::vector<std::complex<float>> out(kSamples + 300);
    int n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(obj.genRampSweepSig(&params, 1e7, out.data(), &n));
    setRate(state, n);
}
BENCHMARK(BM_RampSweepGeneration)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
