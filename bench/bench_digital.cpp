// Digital modulation at 10^6 output samples: QPSK and QAM256 with a root
// raised cosine, FSK4 with a Gaussian pulse, each at the symbol-locked rate
// and resampled by 1.25, through the generator alone (the Job rows measure
// the whole call and its memory). Wall-clock time: the filtering runs on
// OpenMP threads.
#include <benchmark/benchmark.h>

#include <complex>
#include <cstdlib>

#include "genSignalClass.h"

namespace {

constexpr double kSymbolRate = 1e6;
constexpr int kSps = 8;
constexpr int kSpan = 6;

// Arguments: modulation kind, filter, sample rate in MHz.
void BM_Digital(benchmark::State& state) {
    const int modType = static_cast<int>(state.range(0));
    const double rate = static_cast<double>(state.range(2)) * 1e6;
    const bool resample = rate != kSps * kSymbolRate;
    DigitalModParams p{};
    p.modType = static_cast<DigitalModulType>(modType);
    p.symbolRate = kSymbolRate;
    p.freqDeviation = 250e3;
    p.pnOrder = 15;
    p.pnSeed = 0x2b67;
    p.filterType = static_cast<FilterType>(state.range(1));
    p.filterSpan = kSpan;
    p.samplesPerSymbol = kSps;
    p.rolloff = p.filterType == GAUSSIAN ? 0.5 : 0.35;
    // Symbols for 10^6 outputs: 125000 at 8 MHz, 100000 resampled to 10 MHz.
    const int N = resample ? 100000 : 125000;
    GenSignalClass obj;
    int n = 0;
    for (auto _ : state) {
        std::complex<float>* y = nullptr;
        if (obj.genDigitalSig(&p, rate, N, &y, n) != 0) {
            state.SkipWithError("generation failed");
            break;
        }
        benchmark::DoNotOptimize(y);
        std::free(y);
    }
    state.counters["samples"] = n;
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Digital)
    ->ArgNames({"mod", "filter", "MHz"})
    ->Args({QPSK, RRCOS, 8})
    ->Args({QPSK, RRCOS, 10})
    ->Args({QAM256, RRCOS, 8})
    ->Args({QAM256, RRCOS, 10})
    ->Args({FSK4, GAUSSIAN, 8})
    ->Args({FSK4, GAUSSIAN, 10})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
