// The kernels on their own, per variant (0 generic, 1 AVX2): the frame on
// 10^6 complex samples at 1 and 2 threads, and the filtering of a
// zero-stuffed train of 125,000 points at 8 samples per symbol with 49
// taps (10^6 outputs) on one thread.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cpuDispatch.h"
#include "fskPhase.h"
#include "genSignalClass.h"
#include "polyphaseFilter.h"
#include "sampleConversion.h"
#include "shapingPipeline.h"

namespace {

using C = std::complex<float>;

// Switches to the benchmark's variant for its length; false (skipped) when
// the CPU cannot run it.
class Variant {
public:
    Variant(benchmark::State& state) : saved_(activeKernels()) {
        ok_ = forceKernels(state.range(0) ? KernelVariant::avx2 : KernelVariant::generic);
        if (!ok_) state.SkipWithError("the CPU lacks AVX2 or FMA");
    }
    ~Variant() { forceKernels(saved_); }
    bool ok() const { return ok_; }

private:
    KernelVariant saved_;
    bool ok_;
};

void BM_Frame(benchmark::State& state) {
    Variant variant(state);
    const int saved = omp_get_max_threads();
    omp_set_num_threads(static_cast<int>(state.range(1)));
    constexpr int n = 1000000;
    std::vector<C> source(n);
    for (int i = 0; i < n; ++i) source[i] = {std::cos(i * 0.001f), std::sin(i * 0.0013f)};
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = 0;
    for (auto _ : state) {
        if (!variant.ok()) break;
        state.PauseTiming();
        auto* samples = static_cast<C*>(std::malloc(sizeof(C) * n));
        std::memcpy(samples, source.data(), sizeof(C) * n);
        state.ResumeTiming();
        benchmark::DoNotOptimize(deliverSamples(&obj, samples, n, &iq, &count));
    }
    omp_set_num_threads(saved);
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Frame)
    ->ArgNames({"avx2", "threads"})
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_ShapeStuffed(benchmark::State& state) {
    Variant variant(state);
    constexpr int symbols = 125000, sps = 8;
    GenSignalClass obj;
    std::vector<float> taps(200);
    int m = 0, error = 0;
    obj.getFilter(RRCOS, static_cast<double>(0.35f), 6, sps, taps.data(), &m, &error);
    std::vector<C> points(symbols);
    for (int j = 0; j < symbols; ++j)
        points[j] = {(j * 7 % 3) ? 0.7071068f : -0.7071068f, (j % 5) ? 0.7071068f : -0.7071068f};
    const int64_t len = static_cast<int64_t>(symbols) * sps - m + 1;
    std::vector<C> out(len);
    const StuffedFilter filter = stuffedFilter(taps.data(), m, sps);
    for (auto _ : state) {
        if (!variant.ok()) break;
        shapeStuffedComplex(points.data(), filter, 0, len, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * len / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ShapeStuffed)->ArgName("avx2")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ShapeStuffedReal(benchmark::State& state) {
    Variant variant(state);
    constexpr int symbols = 125000, sps = 8;
    GenSignalClass obj;
    std::vector<float> taps(200);
    int m = 0, error = 0;
    obj.getFilter(GAUSSIAN, static_cast<double>(0.35f), 6, sps, taps.data(), &m, &error);
    std::vector<float> levels(symbols);
    for (int j = 0; j < symbols; ++j) levels[j] = static_cast<float>(2 * (j * 7 % 4) - 3);
    const int64_t len = static_cast<int64_t>(symbols) * sps - m + 1;
    std::vector<float> out(len);
    const StuffedFilter filter = stuffedFilter(taps.data(), m, sps);
    for (auto _ : state) {
        if (!variant.ok()) break;
        shapeStuffedReal(levels.data(), filter, 0, len, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * len / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ShapeStuffedReal)->ArgName("avx2")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The whole shaping of the QPSK job from its 125,006 points: 10^6 samples at
// the symbol-locked 8 MHz, or resampled to 10 MHz; arguments: resampled,
// threads.
void BM_ShapeAndResample(benchmark::State& state) {
    constexpr int symbols = 125006, sps = 8;
    const int saved = omp_get_max_threads();
    omp_set_num_threads(static_cast<int>(state.range(1)));
    GenSignalClass obj;
    std::vector<float> taps(200);
    int m = 0, error = 0;
    obj.getFilter(RRCOS, static_cast<double>(0.35f), 6, sps, taps.data(), &m, &error);
    std::vector<C> points(symbols);
    for (int j = 0; j < symbols; ++j)
        points[j] = {(j * 7 % 3) ? 0.7071068f : -0.7071068f, (j % 5) ? 0.7071068f : -0.7071068f};
    const bool resample = state.range(0) != 0;
    const ShapingJob job{points.data(), symbols, sps, taps.data(), m, 0, resample, resample ? 10e6 : 8e6, 8e6};
    std::vector<C> out(shapedLength(job));
    for (auto _ : state) benchmark::DoNotOptimize(shapeAndResample(job, out.data()));
    omp_set_num_threads(saved);
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * out.size() / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ShapeAndResample)
    ->ArgNames({"resampled", "threads"})
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The FSK4 job from its levels: Gaussian pulse (BT 0.35, 6 symbols, 8
// samples per symbol), 125,006 levels; arguments: resampled to 10 MHz,
// threads.
void BM_FskModulate(benchmark::State& state) {
    constexpr int symbols = 125006, sps = 8;
    const int saved = omp_get_max_threads();
    omp_set_num_threads(static_cast<int>(state.range(1)));
    GenSignalClass obj;
    std::vector<float> taps(200);
    int m = 0, error = 0;
    obj.getFilter(GAUSSIAN, static_cast<double>(0.35f), 6, sps, taps.data(), &m, &error);
    for (int k = 0; k < m; ++k) taps[k] *= sps;
    std::vector<float> levels(symbols);
    for (int j = 0; j < symbols; ++j) levels[j] = static_cast<float>(2 * (j * 7 % 4) - 3);
    const double rate = state.range(0) ? 10e6 : 8e6;
    const FskJob job{levels.data(), symbols, sps, taps.data(), m, rate, 8e6, (250e3 * 6.283185307179586) / rate};
    std::vector<C> out(fskLength(job));
    for (auto _ : state) benchmark::DoNotOptimize(fskModulate(job, out.data()));
    omp_set_num_threads(saved);
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * out.size() / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FskModulate)
    ->ArgNames({"resampled", "threads"})
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
