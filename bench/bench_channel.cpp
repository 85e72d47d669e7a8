// The channel over 2^20 samples of QPSK at 30.72 MS/s (RRC 0.35, 8
// samples per symbol), in place on the float buffer as the frame will call
// it: the whole chain (Rapp at 6 dB back-off, EVA with 70 Hz Jakes
// Doppler, a 0.3-sample timing offset, a 1 kHz carrier offset, a three-
// point phase-noise mask, 15 dB Es/N0, 0.1 dB / 1 degree I/Q imbalance and
// DC at -30 dBc) at 1 and 2 threads, and each stage alone; and the whole
// chain through GenSignalApplyChannel from an int16 buffer, with the
// resident growth of its first call in a fresh process per sample (the
// host's input excluded, the int16 result included). Wall-clock time: the
// stages run on OpenMP threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <unistd.h>

#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "channelChain.h"
#include "wrapperGenSignalWave.h"

namespace {

constexpr double kRate = 30.72e6;
constexpr int kSamples = 1 << 20;

DigitalModParams qpskRecord();

const std::vector<std::complex<float>>& qpsk() {
    static const std::vector<std::complex<float>> x = [] {
        const DigitalModParams p = qpskRecord();
        const int h = GenSignalObjCreatSelfEncode();
        int16_t* iq = nullptr;
        int count = 0;
        GenerateDigitalModWaveform(h, &p, kSamples / 8, &iq, &count, kRate);
        std::vector<std::complex<float>> out(static_cast<size_t>(count / 2));
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = {static_cast<float>(iq[2 * i]), static_cast<float>(iq[2 * i + 1])};
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
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * x.size() / 1e6, benchmark::Counter::kIsRate);
}

std::vector<int16_t> qpskInt16() {
    const std::vector<std::complex<float>>& x = qpsk();
    std::vector<int16_t> iq(2 * x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        iq[2 * i] = static_cast<int16_t>(x[i].real());
        iq[2 * i + 1] = static_cast<int16_t>(x[i].imag());
    }
    return iq;
}

GenSignalMeasureInput inputOf(const std::vector<int16_t>& iq, const DigitalModParams& p) {
    GenSignalMeasureInput in{};
    in.samples = iq.data();
    in.valueCount = static_cast<int64_t>(iq.size());
    in.format = GENSIGNAL_FORMAT_CI16;
    in.recordKind = GENSIGNAL_RECORD_DIGITAL;
    in.record = &p;
    in.argument = kSamples / 8;
    in.sampleRate = kRate;
    return in;
}

DigitalModParams qpskRecord() {
    DigitalModParams p{};
    p.modType = QPSK;
    p.symbolRate = kRate / 8;
    p.pnOrder = 15;
    p.pnSeed = 1;
    p.filterType = RRCOS;
    p.filterSpan = 6;
    p.samplesPerSymbol = 8;
    p.rolloff = 0.35;
    return p;
}

long statusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    const size_t len = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, len) == 0 && line[len] == ':') kb = std::atol(line + len + 1);
    std::fclose(f);
    return kb;
}

// The child: the input made and the team started before the measurement,
// then one call on a fresh handle; prints "<bytes> <samples>".
int peakChild(int threads) {
    omp_set_num_threads(threads);
#pragma omp parallel
    { (void)omp_get_thread_num(); }
    const std::vector<int16_t> iq = qpskInt16();
    const DigitalModParams p = qpskRecord();
    const GenSignalMeasureInput in = inputOf(iq, p);
    const GenSignalChannel c = channelFor(kWhole);
    const int handle = GenSignalObjCreatSelfEncode();
    FILE* clear = std::fopen("/proc/self/clear_refs", "w");
    if (!clear || std::fputs("5", clear) < 0 || std::fclose(clear) != 0) return 4;
    const long before = statusKb("VmRSS");
    int16_t* out = nullptr;
    int count = 0;
    if (GenSignalApplyChannel(handle, &c, &in, nullptr, &out, &count, nullptr) != 0) return 5;
    const long peak = statusKb("VmHWM");
    std::printf("%ld %d\n", (peak - before) * 1024, count / 2);
    return 0;
}

double peakBytesPerSample(int threads) {
    static std::mutex lock;
    static std::map<int, double> measured;
    std::lock_guard<std::mutex> guard(lock);
    if (measured.count(threads)) return measured[threads];
    double result = -1;
    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len > 0) {
        self[len] = '\0';
        const std::string command = "GENSIGNAL_CHANNEL_PEAK_CHILD=" + std::to_string(threads) + " '" + self + "'";
        if (FILE* child = popen(command.c_str(), "r")) {
            long bytes = 0;
            int samples = 0;
            if (std::fscanf(child, "%ld %d", &bytes, &samples) == 2 && samples > 0)
                result = static_cast<double>(bytes) / samples;
            pclose(child);
        }
    }
    return measured[threads] = result;
}

void BM_ChannelEntryPoint(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const std::vector<int16_t> iq = qpskInt16();
    const DigitalModParams p = qpskRecord();
    const GenSignalMeasureInput in = inputOf(iq, p);
    const GenSignalChannel c = channelFor(kWhole);
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    const int handle = GenSignalObjCreatSelfEncode();
    int16_t* out = nullptr;
    int count = 0;
    for (auto _ : state)
        if (GenSignalApplyChannel(handle, &c, &in, nullptr, &out, &count, nullptr) != 0) {
            state.SkipWithError("refused");
            break;
        }
    GenSignalObjRelease(handle);
    omp_set_num_threads(saved);
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSamples / 1e6, benchmark::Counter::kIsRate);
    state.counters["peak_B/sample"] = peakBytesPerSample(threads);
}
BENCHMARK(BM_ChannelEntryPoint)->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

const char* const kStageNames[] = {"whole",       "amplifier", "fading", "timing", "carrier",
                                   "phase_noise", "noise",     "iq",     "dc"};

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

// bench_main's hook: run as GENSIGNAL_CHANNEL_PEAK_CHILD=<threads>, the program is that child.
int runChannelPeakChild(int threads) { return peakChild(threads); }
