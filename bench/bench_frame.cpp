// The entry-point conversion on 10^6 samples, and AM generation.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdlib>

#include "genSignalClass.h"
#include "sampleConversion.h"

namespace {

constexpr int kSamples = 1000000;

template <class Sample>
Sample* makeSamples();

template <>
std::complex<float>* makeSamples() {
    auto* s = static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * kSamples));
    for (int i = 0; i < kSamples; ++i) s[i] = {std::cos(i * 0.001f), std::sin(i * 0.0013f)};
    return s;
}

template <>
double* makeSamples() {
    auto* s = static_cast<double*>(std::malloc(sizeof(double) * kSamples));
    for (int i = 0; i < kSamples; ++i) s[i] = std::sin(i * 0.001);
    return s;
}

template <>
float* makeSamples() {
    auto* s = static_cast<float*>(std::malloc(sizeof(float) * kSamples));
    for (int i = 0; i < kSamples; ++i) s[i] = std::sin(i * 0.001f);
    return s;
}

template <class Sample>
void BM_Conversion(benchmark::State& state) {
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Sample* samples = makeSamples<Sample>();
        state.ResumeTiming();
        benchmark::DoNotOptimize(deliverSamples(&obj, samples, kSamples, &iq, &count));
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSamples / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK_TEMPLATE(BM_Conversion, std::complex<float>)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Conversion, float)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Conversion, double)->Unit(benchmark::kMillisecond);

void BM_AmGeneration(benchmark::State& state) {
    GenSignalClass obj;
    // 1000 Hz at 1 GHz: one period of 10^6 samples.
    const AMModParams params{1000.0, 50.0, static_cast<int32_t>(state.range(0))};
    int n = 0;
    for (auto _ : state) {
        double* samples = nullptr;
        benchmark::DoNotOptimize(obj.genAMSig(&params, 1e9, &samples, &n));
        std::free(samples);
    }
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AmGeneration)->DenseRange(1, 4)->Unit(benchmark::kMillisecond);

}  // namespace
