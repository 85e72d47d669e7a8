// The peer: liquid-dsp doing our QPSK job on one thread, int16 output
// included. (a) 125,000 random QPSK symbols through its root-raised-cosine
// interpolator (8 samples per symbol, 3 symbols each side, 0.35: 49 taps)
// to 10^6 samples, then the peak, the scale to 32766 and lroundf to int16;
// (b) the same with its multi-stage resampler (x1.25, 60 dB) before the
// conversion. Output arrays are allocated once, outside the timing.
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
constexpr unsigned kSymbols = 125000;
constexpr unsigned kSps = 8;

struct PeerJob {
    std::vector<C> symbols, shaped, resampled;
    std::vector<int16_t> iq;
    PeerJob() : symbols(kSymbols), shaped(kSymbols * kSps), resampled(2 * kSymbols * kSps), iq(4 * kSymbols * kSps) {
        std::mt19937 rng(1);
        const float a = std::sqrt(0.5f);
        for (C& s : symbols) s = {rng() & 1 ? a : -a, rng() & 1 ? a : -a};
    }

    // Returns the number of output samples.
    unsigned run(bool resample) {
        firinterp_crcf interp = firinterp_crcf_create_prototype(LIQUID_FIRFILT_RRC, kSps, 3, 0.35f, 0.0f);
        firinterp_crcf_execute_block(interp, symbols.data(), kSymbols, shaped.data());
        firinterp_crcf_destroy(interp);
        C* y = shaped.data();
        unsigned n = kSymbols * kSps;
        if (resample) {
            msresamp_crcf stage = msresamp_crcf_create(1.25f, 60.0f);
            unsigned written = 0;
            msresamp_crcf_execute(stage, shaped.data(), n, resampled.data(), &written);
            msresamp_crcf_destroy(stage);
            y = resampled.data();
            n = written;
        }
        toInt16(y, n, iq.data());
        return n;
    }
};

void BM_Liquid(benchmark::State& state) {
    PeerJob peer;
    const bool resample = state.range(0) != 0;
    unsigned n = 0;
    for (auto _ : state) {
        n = peer.run(resample);
        benchmark::DoNotOptimize(peer.iq.data());
    }
    state.SetLabel(resample ? "firinterp RRC + msresamp x1.25" : "firinterp RRC");
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Liquid)->ArgName("resampled")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The two jobs as peers of their own, for the once-per-run rate.
template <bool kResampled>
struct FixedPeerJob : PeerJob {
    unsigned run() { return PeerJob::run(kResampled); }
};

}  // namespace

double peerRate(bool resampled) { return resampled ? onceRate<FixedPeerJob<true>>() : onceRate<FixedPeerJob<false>>(); }
