// Spread-spectrum generation: order 7, 1000 bits, root raised cosine over
// 6 chips at 4 samples per chip (508,000 samples at the chip-locked rate),
// with and without resampling.
#include <benchmark/benchmark.h>

#include <complex>
#include <cstdlib>

#include "genSignalClass.h"

namespace {

void BM_DssGeneration(benchmark::State& state) {
    GenSignalClass obj;
    const DSSParams params{1000.0, 1, 7, 6, 4, 0.35, 1, 3};
    const double chipLocked = 4 * 1000.0 * 127;  // no resampling
    const double rate = state.range(0) ? 1e6 : chipLocked;
    int n = 0;
    for (auto _ : state) {
        std::complex<float>* samples = nullptr;
        benchmark::DoNotOptimize(obj.genDSSSig(&params, rate, 1000, &samples, &n));
        std::free(samples);
    }
    state.SetLabel(state.range(0) ? "resampled to 1 MS/s" : "chip-locked rate");
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DssGeneration)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
