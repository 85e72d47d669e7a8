// The channel over 2^20 samples of QPSK at 30.72 MS/s (RRC 0.35, 8
// samples per symbol), in place on the float buffer as the frame will call
// it: the whole chain (Rapp at 6 dB back-off, EVA with 70 Hz Jakes
// Doppler, a 0.3-sample timing offset, a 1 kHz carrier offset, a three-
// point phase-noise mask, 15 dB Es/N0, 0.1 dB / 1 degree I/Q imbalance and
// DC at -30 dBc) at 1 and 2 threads, and each stage alone. Wall-clock time:
// the stages run on OpenMP threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <complex>
#include <cstring>
#include <vector>

#include "channelChain.h"
#include "wrapperGenSignalWave.h"

namespace {

constexpr double kRate = 30.72e6;
constexpr int kSamples = 1 << 20;

const std::vector<std::complex<float>>& qpsk() {
    static const std::vector<std::complex<float>> x = [] {
        DigitalModParams p{};
        p.modType = QPSK;
        p.symbolRate = kRate / 8;
        p.pnOrder = 15;
        p.pnSeed = 1;
        p.filterType = RRCOS;
        p.filterSpan = 6;
        p.samplesPerSymbol = 8;
        p.rolloff = 0.35;
        const int h = GenSignalObjCreatSelfEncode();
        int16_t* iq = nullptr;
        int count = 0;
        GenerateDigitalModWaveform(h, &p, kSamples / 8, &iq, &count, kRate);
        std::vector<std::complex<float>> out(static_cast<size_t>(count / 2));
        for (size_t i = 0; i < out.size(); ++i) out[i] = {static_cast<float>(iq[2 * i]), static_cast<float>(iq[2 * i + 1])};
        GenSignalObjRelease(h);
        return out;
    }();
    return x;
}

enum Stage { kWhole, kAmplifier, kFading, kTiming, kCarrier, kPhaseNoise, kNoise, kIq, kDc };

GenSignalChannel channelFor(int stage) {
    GenSignalChannel c{};
    c.seed = 1;
    const bool all = stage == kWhole;
    if (all || stage == kAmplifier) {
        c.paModel = GENSIGNAL_PA_RAPP;
        c.paBackoffDb = 6;
    }
    if (all || stage == kFading) {
        c.fading = GENSIGNAL_FADING_EVA;
        c.dopplerHz = 70;
    }
    if (all || stage == kTiming) c.timingOffset = 0.3;
    if (all || stage == kCarrier) c.cfoHz = 1000;
    if (all || stage == kPhaseNoise) {
        c.phaseNoisePoints = 3;
        const double offsets[] = {1e3, 1e4, 1e5}, levels[] = {-80, -90, -110};
        for (int i = 0; i < 3; ++i) {
            c.phaseNoiseOffsetHz[i] = offsets[i];
            c.phaseNoiseDbcHz[i] = levels[i];
        }
    }
    if (all || stage == kNoise) {
        c.noiseMode = GENSIGNAL_NOISE_ESN0;
        c.noiseDb = 15;
    }
    if (all || stage == kIq) {
        c.iqGainDb = 0.1;
        c.iqPhaseDeg = 1;
    }
    if (all || stage == kDc) {
        c.dcEnabled = 1;
        c.dcDbc = -30;
    }
    return c;
}

void BM_Channel(benchmark::State& state) {
    const int stage = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const GenSignalChannel c = channelFor(stage);
    ChannelContext context;
    context.samplesPerSymbol = 8;
    context.bitsPerSymbol = 2;
    const std::vector<std::complex<float>>& x = qpsk();
    std::vector<std::complex<float>> work(x.size());
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    GenSignalChannelRealised r{};
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), x.data(), x.size() * sizeof x[0]);
        state.ResumeTiming();
        if (applyChannel(c, context, work.data(), static_cast<int64_t>(work.size()), kRate, r) != 0) {
            state.SkipWithError("refused");
            break;
        }
        benchmark::DoNotOptimize(work.data());
    }
    omp_set_num_threads(saved);
    state.counters["Msamples/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * x.size() / 1e6,
                                                      benchmark::Counter::kIsRate);
}

const char* const kStageNames[] = {"whole", "amplifier", "fading", "timing", "carrier",
                                   "phase_noise", "noise", "iq", "dc"};

const bool registered = [] {
    for (int stage = kWhole; stage <= kDc; ++stage)
        for (int threads : {1, 2}) {
            if (stage != kWhole && threads == 2) continue;
            benchmark::RegisterBenchmark(
                (std::string("Channel/") + kStageNames[stage] + "/threads:" + std::to_string(threads)).c_str(),
                BM_Channel)
                ->Args({stage, threads})
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    return true;
}();

}  // namespace
