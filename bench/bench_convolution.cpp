// FIR filtering of 10^6 samples with pulse-shaping-sized tap sets.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <vector>

#include "genSignalClass.h"

namespace {

constexpr int kOutputs = 1000000;

std::vector<float> makeTaps(int m) {
    std::vector<float> h(m);
    for (int k = 0; k < m; ++k) h[k] = std::sin(0.1f * static_cast<float>(k + 1)) / static_cast<float>(k + 1);
    return h;
}

void BM_Conv2Complex(benchmark::State& state) {
    GenSignalClass obj;
    const int m = static_cast<int>(state.range(0));
    const int n = kOutputs + m - 1;
    std::vector<std::complex<float>> x(n), y(kOutputs);
    for (int i = 0; i < n; ++i) x[i] = {std::cos(0.001f * i), std::sin(0.0013f * i)};
    const auto h = makeTaps(m);
    int len = 0;
    for (auto _ : state) {
        obj.conv2_complex(x.data(), n, h.data(), m, y.data(), &len);
        benchmark::DoNotOptimize(y.data());
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * len / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Conv2Complex)->Arg(49)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Conv2Real(benchmark::State& state) {
    GenSignalClass obj;
    const int m = static_cast<int>(state.range(0));
    const int n = kOutputs + m - 1;
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i) x[i] = std::cos(0.001f * i);
    const auto h = makeTaps(m);
    int len = 0;
    for (auto _ : state) {
        float* y = nullptr;
        obj.conv2_real(x.data(), n, h.data(), m, &y, &len);
        benchmark::DoNotOptimize(y);
        std::free(y);
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * len / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Conv2Real)->Arg(49)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
