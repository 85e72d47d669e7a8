// liquid-dsp doing the jobs of our analog, noise, OFDM and multitone
// generators on one thread, int16 output included (peerConversion.h):
// FM, freqmod on a sine message made by sinf of a wrapped double phase
// (kf = deviation / rate, 10^7 samples); noise, randnf twice per sample
// through firfilt_crcf with 128 Hamming-windowed taps (10^6 samples);
// OFDM, ofdmframegen with 64 bins, a 16-sample prefix and no taper in its
// default layout (it insists on pilots), 20,000 QPSK symbols; multitone, 8 nco_crcf summed
// per sample (10^6 samples). Arrays are allocated outside the timing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

// After <complex>: liquid then uses std::complex<float> for its samples.
#include <liquid/liquid.h>

#include "jobs.h"
#include "peerConversion.h"

namespace {

using C = std::complex<float>;
constexpr double kPi = 3.141592653589793;

struct Arrays {
    std::vector<C> y;
    std::vector<int16_t> iq;
    explicit Arrays(unsigned n) : y(n), iq(2 * static_cast<size_t>(n)) {}
};

struct FmPeer : Arrays {
    static constexpr unsigned kSamples = 10000000;
    std::vector<float> message = std::vector<float>(kSamples);
    FmPeer() : Arrays(kSamples) {}
    unsigned run() {
        const double step = 2 * kPi * 1.0 / 10e6;  // 1 Hz at 10 MHz
        double phase = 0;
        for (unsigned i = 0; i < kSamples; ++i) {
            message[i] = std::sin(static_cast<float>(phase));
            phase += step;
            if (phase >= kPi) phase -= 2 * kPi;
        }
        freqmod mod = freqmod_create(static_cast<float>(1000.0 / 10e6));
        freqmod_modulate_block(mod, message.data(), kSamples, y.data());
        freqmod_destroy(mod);
        toInt16(y.data(), kSamples, iq.data());
        return kSamples;
    }
};

struct NoisePeer : Arrays {
    static constexpr unsigned kSamples = 1000000;
    std::vector<C> x = std::vector<C>(kSamples);
    std::vector<float> taps = std::vector<float>(128);
    NoisePeer() : Arrays(kSamples) { liquid_firdes_windowf(LIQUID_WINDOW_HAMMING, 128, 0.05f, 0.0f, taps.data()); }
    unsigned run() {
        for (C& v : x) {
            const float re = randnf();
            const float im = randnf();
            v = {re, im};
        }
        firfilt_crcf filter = firfilt_crcf_create(taps.data(), 128);
        firfilt_crcf_execute_block(filter, x.data(), kSamples, y.data());
        firfilt_crcf_destroy(filter);
        toInt16(y.data(), kSamples, iq.data());
        return kSamples;
    }
};

struct OfdmPeer : Arrays {
    static constexpr unsigned kSymbols = 20000, kBins = 64, kPrefix = 16;
    std::vector<unsigned char> allocation = std::vector<unsigned char>(kBins, OFDMFRAME_SCTYPE_NULL);
    std::vector<C> points;
    OfdmPeer() : Arrays(kSymbols * (kBins + kPrefix)) {
        // liquid insists on pilots: its default layout for 64 bins.
        ofdmframe_init_default_sctype(kBins, allocation.data());
        std::mt19937 rng(1);
        const float a = std::sqrt(0.5f);
        points.resize(static_cast<size_t>(kSymbols) * kBins);
        for (size_t i = 0; i < points.size(); ++i)
            points[i] =
                allocation[i % kBins] == OFDMFRAME_SCTYPE_DATA ? C(rng() & 1 ? a : -a, rng() & 1 ? a : -a) : C(0, 0);
    }
    unsigned run() {
        ofdmframegen gen = ofdmframegen_create(kBins, kPrefix, 0, allocation.data());
        for (unsigned s = 0; s < kSymbols; ++s)
            ofdmframegen_writesymbol(gen, points.data() + s * kBins, y.data() + s * (kBins + kPrefix));
        ofdmframegen_destroy(gen);
        const unsigned n = kSymbols * (kBins + kPrefix);
        toInt16(y.data(), n, iq.data());
        return n;
    }
};

struct MultitonePeer : Arrays {
    static constexpr unsigned kSamples = 1000000;
    MultitonePeer() : Arrays(kSamples) {}
    unsigned run() {
        nco_crcf tones[8];
        for (int k = 0; k < 8; ++k) {
            tones[k] = nco_crcf_create(LIQUID_NCO);
            const double f = (k < 4 ? 1 : -1) * (10.0 + 20.0 * (k % 4));  // +-10, 30, 50, 70 Hz
            nco_crcf_set_frequency(tones[k], static_cast<float>(2 * kPi * f / 7e6));
        }
        for (unsigned i = 0; i < kSamples; ++i) {
            C sum(0, 0);
            for (nco_crcf& tone : tones) {
                C v;
                nco_crcf_cexpf(tone, &v);
                nco_crcf_step(tone);
                sum += v;
            }
            y[i] = sum;
        }
        for (nco_crcf& tone : tones) nco_crcf_destroy(tone);
        toInt16(y.data(), kSamples, iq.data());
        return kSamples;
    }
};

template <class Peer>
void BM_LiquidWave(benchmark::State& state) {
    Peer peer;
    unsigned n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(n = peer.run());
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK_TEMPLATE(BM_LiquidWave, FmPeer)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_LiquidWave, NoisePeer)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_LiquidWave, OfdmPeer)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_LiquidWave, MultitonePeer)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

double liquidFmRate() { return onceRate<FmPeer>(); }
double liquidNoiseRate() { return onceRate<NoisePeer>(); }
double liquidOfdmRate() { return onceRate<OfdmPeer>(); }
double liquidMultitoneRate() { return onceRate<MultitonePeer>(); }
