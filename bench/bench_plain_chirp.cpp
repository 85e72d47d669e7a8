// The chirp peer in plain C: double phase and frequency accumulators with a
// float sincosf per sample, -B/2 ... +B/2 with B = half the rate, 10^7
// samples, then the int16 conversion. Arrays are allocated outside the
// timing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "jobs.h"
#include "peerConversion.h"

namespace {

constexpr unsigned kSamples = 10000000;
constexpr double kPi = 3.141592653589793;

struct PlainChirp {
    std::vector<std::complex<float>> y = std::vector<std::complex<float>>(kSamples);
    std::vector<int16_t> iq = std::vector<int16_t>(2 * kSamples);
    unsigned run() {
        const double bandwidth = 0.5;  // of the rate
        double phase = 0, freq = 2 * kPi * (-bandwidth / 2);
        const double step = 2 * kPi * bandwidth / kSamples;
        for (unsigned i = 0; i < kSamples; ++i) {
            float s, c;
            ::sincosf(static_cast<float>(phase), &s, &c);
            y[i] = {c, s};
            phase += freq;
            if (phase >= kPi) phase -= 2 * kPi;
            if (phase < -kPi) phase += 2 * kPi;
            freq += step;
        }
        toInt16(y.data(), kSamples, iq.data());
        return kSamples;
    }
};

void BM_PlainChirp(benchmark::State& state) {
    PlainChirp peer;
    for (auto _ : state) benchmark::DoNotOptimize(peer.run());
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSamples / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainChirp)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

double plainChirpRate() { return onceRate<PlainChirp>(); }
