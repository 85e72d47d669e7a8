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

int applyChannel(const GenSignalChannel& c, const ChannelContext& context, std::complex<float>* x, int64_t n,
                 double sampleRate, GenSignalChannelRealised& realised) {
    if (int rc = checkChannel(c, context, n, sampleRate)) return rc;
    ChannelNotes local;
    ChannelNotes& notes = context.notes ? *context.notes : local;
    LoopFacts facts;
    applyLoopRules(c, n, sampleRate, context.exactLoop, &notes, facts);
    const int team = teamFor(n, kSamplesPerThread);

    // Everything the stages need, before the first sample changes.
    const bool cn = c.noiseMode == GENSIGNAL_NOISE_CN;
    const bool scratchNeeded = faded(c) || delayed(c) || phaseNoisy(c) || noisy(c);
    Buffer<double> partial(static_cast<size_t>(passBlocks(n)));
    Buffer<std::complex<float>> scratch(scratchNeeded ? static_cast<size_t>(n) : 0);
    Buffer<float> windows(delayed(c) ? static_cast<size_t>(team) * (3 * kGainBlock + kDelayTaps) : 0);
    if (!partial || !scratch || !windows)
        return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(n), "channel's working copy");
    MultipathFading fading;
    if (faded(c))
        if (int rc = fading.plan(c, n, sampleRate, team)) return rc;
    const FractionalDelay timing = designDelay(c.timingOffset, n);
    PhaseNoise phaseNoise;
    if (phaseNoisy(c))
        if (int rc = phaseNoise.plan(c, n, sampleRate, scratch.get(), team)) return rc;
    SplitDft<float> forward;
    if (cn)
        if (int rc = forward.plan(n, DftDirection::forward, scratch.get(), team)) return rc;
    CarrierOffset carrier;
    carrier.plan(c.cfoHz, c.phaseOffsetDeg, n, sampleRate, facts.cfoCloses, facts.cfoCycles);

    clearRealised(realised, n, sampleRate);
    double* sums = partial.get();
    realised.inputPower = meanPower(x, n, team, sums);
    double power = realised.inputPower;

    if (c.paModel != GENSIGNAL_PA_OFF) {
        if (power > 0) {
            const Amplifier amp = amplifierFor(c, power);
            forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t) { amplify(amp, x, first, last); });
            const double after = meanPower(x, n, team, sums);
            realised.paGainDb = db(after / power);
            power = after;
        } else {
            notes.add("the amplifier's input is silent: it has no drive to set");
        }
    }

    float* const railRe = reinterpret_cast<float*>(scratch.get());
    float* const railIm = railRe + n;
    if (faded(c)) {
        splitRails(x, n, team, railRe, railIm);
        const double gains = fading.apply(railRe, railIm, x, sums);
        const double after = meanPower(x, n, team, sums);
        realised.fadingPowerDb = db(gains);
        realised.fadingGainDb = db(after / power);
        power = after;
        const TapGains& g = fading.gains();
        realised.fadingTaps = fading.line().count;
        realised.dopplerLines = 2 * g.halfLines() + 1;
        if (c.dopplerHz > 0) {
            realised.dopplerSpacingHz = sampleRate / static_cast<double>(n);
            realised.dopplerLowestHz = -g.halfLines() * realised.dopplerSpacingHz;
            realised.dopplerHighestHz = g.halfLines() * realised.dopplerSpacingHz;
        }
    }

    if (delayed(c)) {
        splitRails(x, n, team, railRe, railIm);
        forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t) {
            float* window = windows.get() + omp_get_thread_num() * (3 * kGainBlock + kDelayTaps);
            float* outRe = window + kGainBlock + kDelayTaps;
            float* outIm = outRe + kGainBlock;
            for (int64_t at = first; at < last; at += kGainBlock) {
                const int count = static_cast<int>(last - at < kGainBlock ? last - at : kGainBlock);
                const float* re = delayBlock(timing, railRe, n, at, count, window, outRe);
                const float* im = delayBlock(timing, railIm, n, at, count, window, outIm);
                for (int u = 0; u < count; ++u) x[at + u] = {re[u], im[u]};
            }
        });
        realised.timingOffset = c.timingOffset;
    }

    if (!carrier.identity() || phaseNoisy(c)) {
        const float* phase = reinterpret_cast<const float*>(scratch.get());
        if (phaseNoisy(c)) {
            const double meanSquare = phaseNoise.synthesise(c.seed, scratch.get(), sums);
            realised.phaseNoiseRmsDeg = std::sqrt(meanSquare) * (180 / kPi);
            realised.phaseNoiseBins = static_cast<int32_t>(n - 1);
            realised.phaseNoiseResolutionHz = sampleRate / static_cast<double>(n);
        }
        const bool turn = !carrier.identity(), jitter = phaseNoisy(c);
        forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t) {
            std::complex<float> rotation[kRotationBlock];
            for (int64_t at = first; at < last; at += kRotationBlock) {
                const int count = static_cast<int>(last - at < kRotationBlock ? last - at : kRotationBlock);
                if (turn) carrier.block(at, count, rotation);
                for (int u = 0; u < count; ++u) {
                    std::complex<float> r = turn ? rotation[u] : std::complex<float>(1, 0);
                    if (jitter) {
                        float s, co;
                        ::sincosf(phase[at + u], &s, &co);
                        r = turn ? std::complex<float>(r.real() * co - r.imag() * s, r.real() * s + r.imag() * co)
                                 : std::complex<float>(co, s);
                    }
                    const std::complex<float> v = x[at + u];
                    x[at + u] = {v.real() * r.real() - v.imag() * r.imag(), v.real() * r.imag() + v.imag() * r.real()};
                }
            }
        });
        realised.cfoHz = c.cfoHz;
        realised.phaseOffsetDeg = c.phaseOffsetDeg;
    }
    realised.cfoCloses = facts.cfoCloses ? 1 : 0;

    if (noisy(c)) {
        const double signal = meanPower(x, n, team, sums);
        realised.signalPower = signal;
        const SymbolFacts s = symbolFacts(c, context);
        const double perSymbol = s.samplesPerSymbol > 0 ? 10 * std::log10(s.samplesPerSymbol) : kNone;
        const double perBit = s.bitsPerSymbol > 0 ? 10 * std::log10(s.bitsPerSymbol) : kNone;
        // The ratio over the full rate (or in the C/N band) that the mode sets.
        double ratioDb = c.noiseDb;
        if (c.noiseMode == GENSIGNAL_NOISE_ESN0) ratioDb = c.noiseDb - perSymbol;
        if (c.noiseMode == GENSIGNAL_NOISE_EBN0) ratioDb = c.noiseDb + perBit - perSymbol;
        if (signal > 0) {
            const double target = signal / std::pow(10.0, ratioDb / 10);
            const NoiseRealised got = addNoise(c.seed, target, cn ? c.noiseBandwidthHz : 0, sampleRate, x,
                                               scratch.get(), n, cn ? &forward : nullptr, team, sums);
            realised.noisePower = got.fullPower;
            realised.noisePowerInBand = got.bandPower;
            realised.snrDb = db(signal / got.fullPower);
            realised.snrInBandDb = db(signal / got.bandPower);
            if (!context.spreadSpectrum || c.samplesPerSymbol > 0) realised.esn0Db = realised.snrDb + perSymbol;
            realised.ebn0Db = realised.snrDb + perSymbol - perBit;
            if (cn) realised.cnDb = realised.snrInBandDb;
        } else {
            notes.add("the signal reaching the noise stage is silent: no noise was added");
        }
    }

    if (imbalanced(c)) {
        const IqImbalance q = iqImbalanceFor(c.iqGainDb, c.iqPhaseDeg);
        forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t) { applyIqImbalance(q, x, first, last); });
        realised.iqImageRejectionDb = imageRejectionDb(c.iqGainDb, c.iqPhaseDeg);
    }

    if (c.dcEnabled) {
        const double reaching = meanPower(x, n, team, sums);
        const double level = std::sqrt(reaching * std::pow(10.0, c.dcDbc / 10));
        const double angle = c.dcPhaseDeg * (kPi / 180);
        const float dr = static_cast<float>(level * std::cos(angle)), di = static_cast<float>(level * std::sin(angle));
        forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t) {
            for (int64_t m = first; m < last; ++m) x[m] = {x[m].real() + dr, x[m].imag() + di};
        });
        realised.dcPower = static_cast<double>(dr) * dr + static_cast<double>(di) * di;
    }

    realised.outputPower = meanPower(x, n, team, sums);
    realised.noteLength = notes.length();
    std::memcpy(realised.note, notes.text(), static_cast<size_t>(notes.length()) + 1);
    return 0;
}
