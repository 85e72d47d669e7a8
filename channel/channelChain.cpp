#include "channelChain.h"

#include <omp.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "additiveNoise.h"
#include "amplifier.h"
#include "blockPasses.h"
#include "blockPipeline.h"
#include "buffer.h"
#include "carrierOffset.h"
#include "channelChecks.h"
#include "delayLine.h"
#include "fractionalDelay.h"
#include "iqImbalance.h"
#include "lastError.h"
#include "loopRules.h"
#include "mathConstants.h"
#include "multipathFading.h"
#include "phaseNoise.h"
#include "rangeChecks.h"
#include "splitDft.h"
#include "tapGains.h"

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
// Below this many samples per thread a second thread costs more than it saves.
constexpr int64_t kSamplesPerThread = 1 << 15;
// Doppler grid work (lines times grid points, all taps) beyond which a
// record is refused: minutes of work for one buffer.
constexpr double kMostDopplerWork = 8589934592.0;  // 2^33

double db(double ratio) {
    return ratio > 0 && ratio < std::numeric_limits<double>::infinity() ? 10 * std::log10(ratio) : kNone;
}

// Samples and bits per symbol for Es/N0 and Eb/N0: the record's fields first.
struct SymbolFacts {
    double samplesPerSymbol, bitsPerSymbol;
};

SymbolFacts symbolFacts(const GenSignalChannel& c, const ChannelContext& context) {
    // A record at an absurd rate can put its samples per symbol beyond the
    // double range: unknown then, as for a buffer without a record.
    const auto known = [](double v) { return std::isfinite(v) && v > 0 ? v : 0.0; };
    return {c.samplesPerSymbol > 0 ? c.samplesPerSymbol : known(context.samplesPerSymbol),
            c.bitsPerSymbol > 0 ? c.bitsPerSymbol : known(context.bitsPerSymbol)};
}

int checkNoiseFacts(const GenSignalChannel& c, const ChannelContext& context) {
    const SymbolFacts s = symbolFacts(c, context);
    if (c.noiseMode == GENSIGNAL_NOISE_ESN0) {
        if (context.spreadSpectrum && c.samplesPerSymbol == 0)
            return refuse(-1,
                          "GenSignalChannel.noiseMode = 2 (Es/N0): spread spectrum has no symbol energy of its own; "
                          "state Eb/N0 (3), SNR (1) or C/N (4)");
        if (s.samplesPerSymbol == 0)
            return refuse(-1,
                          "GenSignalChannel.noiseMode = 2 (Es/N0): needs the samples per symbol, from "
                          "samplesPerSymbol or the digital record the buffer was made from");
    }
    if (c.noiseMode == GENSIGNAL_NOISE_EBN0 && (s.samplesPerSymbol == 0 || s.bitsPerSymbol == 0))
        return refuse(-1,
                      "GenSignalChannel.noiseMode = 3 (Eb/N0): needs the samples and bits per symbol, from "
                      "samplesPerSymbol and bitsPerSymbol or the digital or spread-spectrum record the buffer was "
                      "made from");
    return 0;
}

int checkDopplerWork(const GenSignalChannel& c, int64_t n, double sampleRate) {
    if (c.fading == GENSIGNAL_FADING_OFF || c.dopplerHz == 0) return 0;
    const DelayLine line = delayLineOf(c, sampleRate);
    const double lines = 2 * std::floor(c.dopplerHz / sampleRate * static_cast<double>(n)) + 1;
    const double points = static_cast<double>(n) / gainGridStep(c.dopplerHz, sampleRate) + 4.0 * n / kGainBlock;
    if (line.count * lines * points > kMostDopplerWork)
        return refuse(-1,
                      "GenSignalChannel.dopplerHz = %s: %.0f Doppler lines per tap over %lld samples are beyond the "
                      "work one buffer may take (2^33 line evaluations); a lower Doppler or a shorter buffer fits",
                      numberText(c.dopplerHz).text, lines, static_cast<long long>(n));
    return 0;
}

bool noisy(const GenSignalChannel& c) { return c.noiseMode != GENSIGNAL_NOISE_OFF; }
bool phaseNoisy(const GenSignalChannel& c) { return c.phaseNoisePoints > 0; }
bool faded(const GenSignalChannel& c) { return c.fading != GENSIGNAL_FADING_OFF; }
bool delayed(const GenSignalChannel& c) { return c.timingOffset != 0; }
bool imbalanced(const GenSignalChannel& c) { return c.iqGainDb != 0 || c.iqPhaseDeg != 0; }

void clearRealised(GenSignalChannelRealised& r, int64_t n, double sampleRate) {
    std::memset(&r, 0, sizeof r);
    r.samples = n;
    r.sampleRate = sampleRate;
    for (double* v : {&r.inputPower,
                      &r.outputPower,
                      &r.paGainDb,
                      &r.fadingPowerDb,
                      &r.fadingGainDb,
                      &r.dopplerSpacingHz,
                      &r.dopplerLowestHz,
                      &r.dopplerHighestHz,
                      &r.phaseNoiseRmsDeg,
                      &r.phaseNoiseResolutionHz,
                      &r.signalPower,
                      &r.noisePower,
                      &r.noisePowerInBand,
                      &r.snrDb,
                      &r.snrInBandDb,
                      &r.esn0Db,
                      &r.ebn0Db,
                      &r.cnDb,
                      &r.iqImageRejectionDb,
                      &r.dcPower})
        *v = kNone;
}

}  // namespace

int checkChannel(const GenSignalChannel& c, const ChannelContext& context, int64_t n, double sampleRate) {
    if (int rc = checkSampleRate(sampleRate)) return rc;
    if (n < 1 || n >= kMaxSamples)
        return refuse(-1, "a buffer of %lld samples: the channel takes 1 to 2^30 - 1", static_cast<long long>(n));
    if (int rc = checkChannelRecord(c, sampleRate)) return rc;
    if (int rc = checkNoiseFacts(c, context)) return rc;
    if (int rc = checkDopplerWork(c, n, sampleRate)) return rc;
    LoopFacts facts;
    return applyLoopRules(c, n, sampleRate, context.exactLoop, nullptr, facts);
}

namespace {

// One call of the chain: the record, the buffer, every working array and
// plan (had before the first sample changes) and what the stages realise.
struct ChainRun {
    ChainRun(const GenSignalChannel& channel, const ChannelContext& ctx, std::complex<float>* samples, int64_t count,
             double rate, ChannelNotes& out, GenSignalChannelRealised& figures)
        : c(channel), context(ctx), x(samples), n(count), sampleRate(rate), notes(out), realised(figures) {}

    const GenSignalChannel& c;
    const ChannelContext& context;
    std::complex<float>* const x;
    const int64_t n;
    const double sampleRate;
    ChannelNotes& notes;
    GenSignalChannelRealised& realised;
    LoopFacts facts;
    int team = 1;
    bool cn = false;  // noise set as C/N in a band: the noise needs a transform
    Buffer<double> partial;
    Buffer<std::complex<float>> scratch;
    Buffer<float> windows;
    MultipathFading fading;
    FractionalDelay timing{};
    PhaseNoise phaseNoise;
    SplitDft<float> forward;
    CarrierOffset carrier;
    double power = 0;  // the mean power reaching the next stage

    double* sums() { return partial.get(); }
    float* railRe() { return reinterpret_cast<float*>(scratch.get()); }
    float* railIm() { return railRe() + n; }
    double measuredPower() { return meanPower(x, n, team, sums()); }
};

int prepare(ChainRun& r) {
    const GenSignalChannel& c = r.c;
    const int64_t n = r.n;
    applyLoopRules(c, n, r.sampleRate, r.context.exactLoop, &r.notes, r.facts);
    r.team = teamFor(n, kSamplesPerThread);
    r.cn = c.noiseMode == GENSIGNAL_NOISE_CN;
    const bool scratchNeeded = faded(c) || delayed(c) || phaseNoisy(c) || noisy(c);
    r.partial = Buffer<double>(static_cast<size_t>(passBlocks(n)));
    r.scratch = Buffer<std::complex<float>>(scratchNeeded ? static_cast<size_t>(n) : 0);
    r.windows = Buffer<float>(delayed(c) ? static_cast<size_t>(r.team) * (3 * kGainBlock + kDelayTaps) : 0);
    if (!r.partial || !r.scratch || !r.windows)
        return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(n), "channel's working copy");
    if (faded(c))
        if (int rc = r.fading.plan(c, n, r.sampleRate, r.team)) return rc;
    r.timing = designDelay(c.timingOffset, n);
    if (phaseNoisy(c))
        if (int rc = r.phaseNoise.plan(c, n, r.sampleRate, r.scratch.get(), r.team)) return rc;
    if (r.cn)
        if (int rc = r.forward.plan(n, DftDirection::forward, r.scratch.get(), r.team)) return rc;
    r.carrier.plan(c.cfoHz, c.phaseOffsetDeg, n, r.sampleRate, r.facts.cfoCloses, r.facts.cfoCycles);
    return 0;
}

void amplifierStage(ChainRun& r) {
    if (!(r.power > 0)) {
        r.notes.add("the amplifier's input is silent: it has no drive to set");
        return;
    }
    const Amplifier amp = amplifierFor(r.c, r.power);
    std::complex<float>* x = r.x;
    forEachBlock(r.n, r.team, [&](int64_t first, int64_t last, int64_t) { amplify(amp, x, first, last); });
    const double after = r.measuredPower();
    r.realised.paGainDb = db(after / r.power);
    r.power = after;
}

void fadingStage(ChainRun& r) {
    GenSignalChannelRealised& realised = r.realised;
    splitRails(r.x, r.n, r.team, r.railRe(), r.railIm());
    const double gains = r.fading.apply(r.railRe(), r.railIm(), r.x, r.sums());
    const double after = r.measuredPower();
    realised.fadingPowerDb = db(gains);
    realised.fadingGainDb = db(after / r.power);
    r.power = after;
    const TapGains& g = r.fading.gains();
    realised.fadingTaps = r.fading.line().count;
    realised.dopplerLines = 2 * g.halfLines() + 1;
    if (r.c.dopplerHz > 0) {
        realised.dopplerSpacingHz = r.sampleRate / static_cast<double>(r.n);
        realised.dopplerLowestHz = -g.halfLines() * realised.dopplerSpacingHz;
        realised.dopplerHighestHz = g.halfLines() * realised.dopplerSpacingHz;
    }
}

void timingStage(ChainRun& r) {
    const int64_t n = r.n;
    float* const railRe = r.railRe();
    float* const railIm = r.railIm();
    std::complex<float>* x = r.x;
    splitRails(x, n, r.team, railRe, railIm);
    forEachBlock(n, r.team, [&](int64_t first, int64_t last, int64_t) {
        float* window = r.windows.get() + omp_get_thread_num() * (3 * kGainBlock + kDelayTaps);
        float* outRe = window + kGainBlock + kDelayTaps;
        float* outIm = outRe + kGainBlock;
        for (int64_t at = first; at < last; at += kGainBlock) {
            const int count = static_cast<int>(last - at < kGainBlock ? last - at : kGainBlock);
            const float* re = delayBlock(r.timing, railRe, n, at, count, window, outRe);
            const float* im = delayBlock(r.timing, railIm, n, at, count, window, outIm);
            for (int u = 0; u < count; ++u) x[at + u] = {re[u], im[u]};
        }
    });
    r.realised.timingOffset = r.c.timingOffset;
}

// The carrier offset and the phase noise, one rotation per sample.
void rotationStage(ChainRun& r) {
    const float* phase = reinterpret_cast<const float*>(r.scratch.get());
    const bool turn = !r.carrier.identity(), jitter = phaseNoisy(r.c);
    if (jitter) {
        const double meanSquare = r.phaseNoise.synthesise(r.c.seed, r.scratch.get(), r.sums());
        r.realised.phaseNoiseRmsDeg = std::sqrt(meanSquare) * (180 / kPi);
        r.realised.phaseNoiseBins = static_cast<int32_t>(r.n - 1);
        r.realised.phaseNoiseResolutionHz = r.sampleRate / static_cast<double>(r.n);
    }
    const CarrierOffset& carrier = r.carrier;
    std::complex<float>* x = r.x;
    forEachBlock(r.n, r.team, [&](int64_t first, int64_t last, int64_t) {
        std::complex<float> rotation[kRotationBlock];
        for (int64_t at = first; at < last; at += kRotationBlock) {
            const int count = static_cast<int>(last - at < kRotationBlock ? last - at : kRotationBlock);
            if (turn) carrier.block(at, count, rotation);
            for (int u = 0; u < count; ++u) {
                std::complex<float> rot = turn ? rotation[u] : std::complex<float>(1, 0);
                if (jitter) {
                    float s, co;
                    ::sincosf(phase[at + u], &s, &co);
                    rot = turn ? std::complex<float>(rot.real() * co - rot.imag() * s, rot.real() * s + rot.imag() * co)
                               : std::complex<float>(co, s);
                }
                const std::complex<float> v = x[at + u];
                x[at + u] = {v.real() * rot.real() - v.imag() * rot.imag(),
                             v.real() * rot.imag() + v.imag() * rot.real()};
            }
        }
    });
    r.realised.cfoHz = r.c.cfoHz;
    r.realised.phaseOffsetDeg = r.c.phaseOffsetDeg;
}

void noiseStage(ChainRun& r) {
    const GenSignalChannel& c = r.c;
    GenSignalChannelRealised& realised = r.realised;
    const double signal = r.measuredPower();
    realised.signalPower = signal;
    const SymbolFacts s = symbolFacts(c, r.context);
    const double perSymbol = s.samplesPerSymbol > 0 ? 10 * std::log10(s.samplesPerSymbol) : kNone;
    const double perBit = s.bitsPerSymbol > 0 ? 10 * std::log10(s.bitsPerSymbol) : kNone;
    // The ratio over the full rate (or in the C/N band) that the mode sets.
    double ratioDb = c.noiseDb;
    if (c.noiseMode == GENSIGNAL_NOISE_ESN0) ratioDb = c.noiseDb - perSymbol;
    if (c.noiseMode == GENSIGNAL_NOISE_EBN0) ratioDb = c.noiseDb + perBit - perSymbol;
    if (!(signal > 0)) {
        r.notes.add("the signal reaching the noise stage is silent: no noise was added");
        return;
    }
    const double target = signal / std::pow(10.0, ratioDb / 10);
    const NoiseRealised got = addNoise(c.seed, target, r.cn ? c.noiseBandwidthHz : 0, r.sampleRate, r.x,
                                       r.scratch.get(), r.n, r.cn ? &r.forward : nullptr, r.team, r.sums());
    realised.noisePower = got.fullPower;
    realised.noisePowerInBand = got.bandPower;
    realised.snrDb = db(signal / got.fullPower);
    realised.snrInBandDb = db(signal / got.bandPower);
    if (!r.context.spreadSpectrum || c.samplesPerSymbol > 0) realised.esn0Db = realised.snrDb + perSymbol;
    realised.ebn0Db = realised.snrDb + perSymbol - perBit;
    if (r.cn) realised.cnDb = realised.snrInBandDb;
}

void imbalanceStage(ChainRun& r) {
    const IqImbalance q = iqImbalanceFor(r.c.iqGainDb, r.c.iqPhaseDeg);
    std::complex<float>* x = r.x;
    forEachBlock(r.n, r.team, [&](int64_t first, int64_t last, int64_t) { applyIqImbalance(q, x, first, last); });
    r.realised.iqImageRejectionDb = imageRejectionDb(r.c.iqGainDb, r.c.iqPhaseDeg);
}

void dcStage(ChainRun& r) {
    const double reaching = r.measuredPower();
    const double level = std::sqrt(reaching * std::pow(10.0, r.c.dcDbc / 10));
    const double angle = r.c.dcPhaseDeg * (kPi / 180);
    const float dr = static_cast<float>(level * std::cos(angle)), di = static_cast<float>(level * std::sin(angle));
    std::complex<float>* x = r.x;
    forEachBlock(r.n, r.team, [&](int64_t first, int64_t last, int64_t) {
        for (int64_t m = first; m < last; ++m) x[m] = {x[m].real() + dr, x[m].imag() + di};
    });
    r.realised.dcPower = static_cast<double>(dr) * dr + static_cast<double>(di) * di;
}

// The stages in their order, each with the test that says the record asks for it.
struct ChainStage {
    bool (*asked)(const ChainRun&);
    void (*apply)(ChainRun&);
};

const ChainStage kChain[] = {
    {[](const ChainRun& r) { return r.c.paModel != GENSIGNAL_PA_OFF; }, amplifierStage},
    {[](const ChainRun& r) { return faded(r.c); }, fadingStage},
    {[](const ChainRun& r) { return delayed(r.c); }, timingStage},
    {[](const ChainRun& r) { return !r.carrier.identity() || phaseNoisy(r.c); }, rotationStage},
    {[](const ChainRun& r) { return noisy(r.c); }, noiseStage},
    {[](const ChainRun& r) { return imbalanced(r.c); }, imbalanceStage},
    {[](const ChainRun& r) { return r.c.dcEnabled != 0; }, dcStage},
};

}  // namespace

int applyChannel(const GenSignalChannel& c, const ChannelContext& context, std::complex<float>* x, int64_t n,
                 double sampleRate, GenSignalChannelRealised& realised) {
    if (int rc = checkChannel(c, context, n, sampleRate)) return rc;
    ChannelNotes local;
    ChainRun run(c, context, x, n, sampleRate, context.notes ? *context.notes : local, realised);
    if (int rc = prepare(run)) return rc;
    clearRealised(realised, n, sampleRate);
    realised.inputPower = run.measuredPower();
    run.power = realised.inputPower;
    for (const ChainStage& stage : kChain)
        if (stage.asked(run)) stage.apply(run);
    realised.cfoCloses = run.facts.cfoCloses ? 1 : 0;
    realised.outputPower = run.measuredPower();
    realised.noteLength = run.notes.length();
    std::memcpy(realised.note, run.notes.text(), static_cast<size_t>(run.notes.length()) + 1);
    return 0;
}
