#include "fm.h"

#include <cstddef>
#include <cmath>
#include <complex>
#include <cstdint>
#include <utility>

#include "blockPipeline.h"
#include "buffer.h"
#include "cpuDispatch.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "lastError.h"
#include "mathConstants.h"
#include "modulatingWave.h"
#include "modulationLoop.h"
#include "phasePipeline.h"
#include "phaseSlots.h"
#include "planCount.h"
#include "rangeChecks.h"

namespace {

using Sample = std::complex<float>;

// A phase that returns within this after the loop meets its start: far
// below the 1/32766 rad that a 16-bit step resolves at full scale.
constexpr double kPhaseTolerance = 1e-6;

double missed(double phase) { return std::fabs(std::remainder(phase, kTwoPi)); }

// The rules before the length: the rate, the frequency, the deviation.
int fmRates(const FMModParams& p, double sampleRate) {
    if (int rc = checkSampleRate(sampleRate)) return rc;
    if (!finitePositive(p.modFrequency))
        return refuse(-1, "FMModParams.modFrequency = %s: must be finite and above 0", numberText(p.modFrequency).text);
    // Any finite deviation is fine; a non-finite one would only yield NaN phases.
    if (!std::isfinite(p.freqDeviation))
        return refuse(-1, "FMModParams.freqDeviation = %s: must be finite", numberText(p.freqDeviation).text);
    return 0;
}

// The phase advances before each sample is formed, so sample 0 already
// carries the increment of w_0: phi = fma(w_i, c, phi). The square, triangle
// and sawtooth step their wave here; the sine's values are in the slots.
// Inlined into each kernel variant, where fma is one instruction.
template <int Shape>
GENSIGNAL_KERNEL_BODY inline double sumPhases(Sample* x, int64_t first, int64_t last, double c, double phi,
                                              SegmentWave& segments) {
    for (int64_t i = first; i < last; ++i) {
        if constexpr (Shape == 1) {
            storePhase(x + i, phi = std::fma(loadPhase(x + i), c, phi));
        } else {
            storePhase(x + i, phi = std::fma(signedWave<Shape>(segments.next<Shape>()), c, phi));
        }
    }
    return phi;
}

// The exact-position phase over n samples, stored in the slots when given.
double exactPhaseAfter(int shape, const Rational& fraction, double c, int64_t n, Sample* slots) {
    ExactWave wave(shape, fraction);
    double phi = 0;
    for (int64_t i = 0; i < n; ++i) {
        phi = std::fma(signedWave(shape, wave.next()), c, phi);
        if (slots) storePhase(slots + i, phi);
    }
    return phi;
}

// As many loops of `loop` as bring the phase back, 0 when none within the caps.
int64_t loopsClosingPhase(const FmPlan& plan, const Rational& fraction, const LoopLength& loop, double& drift) {
    drift = exactPhaseAfter(plan.shape, fraction, plan.phaseStep, loop.samples, nullptr);
    for (int64_t j = 1; withinLoopCaps({loop.periods * j, loop.samples * j}); ++j)
        if (missed(static_cast<double>(j) * drift) <= kPhaseTolerance) return j;
    return 0;
}

}  // namespace

int planFm(const FMModParams& p, double sampleRate, FmPlan& plan, bool lengthIsRule) {
    countPlan();
    if (int rc = fmRates(p, sampleRate)) return rc;
    const double fm = p.modFrequency;
    const double k = wholePeriodCount(sampleRate / fm);
    const double length = std::floor(((1 / fm) * k) / (1 / sampleRate));
    const bool fits = countFits(length);
    if (!fits && lengthIsRule) return refuseLength(length);
    const int shape = p.modShape;
    if (!knownModShape(shape)) return refuse(-1, "FMModParams.modShape = %d: %s", shape, kModShapeRule);

    plan = {fits ? static_cast<int>(length) : 0,
            shape,
            fm,
            (kTwoPi / sampleRate) * p.freqDeviation,
            sampleRate,
            static_cast<int>(k),
            fits};
    return 0;
}

int fmSamples(const FmPlan& plan, GeneratedWave<Sample>& wave, double* endPhase) {
    // A modulating frequency far above the sample rate leaves no sample at
    // all: that result needs no arrays.
    const int n = plan.samples;
    if (endPhase) *endPhase = 0;
    if (n == 0) return 0;
    Buffer<Sample> out(static_cast<size_t>(n));
    if (!out) return outOfMemory<Sample>(-1, n, "FM samples");
    preferHugePages(out.get(), out.bytesFor(n));
    Sample* const x = out.get();

    // The sine's values need no order: they go into the slots first, on
    // every thread, in chunks that go to whichever thread is free.
    if (plan.shape == 1) {
        const SampleBlocks blocks(n);
        const double dt = 1 / plan.sampleRate;
        const double w = kTwoPi * plan.modFrequency;
#pragma omp parallel for schedule(dynamic, SampleBlocks::kSize) num_threads(blocks.team) if (blocks.team > 1)
        for (int i = 0; i < n; ++i) storePhase(x + i, std::sin(i * dt * w));
    }

    // The sum is carried in a local within each block, where the stores into
    // the slots cannot touch it.
    SegmentWave segments(plan.modFrequency, plan.sampleRate);
    const double c = plan.phaseStep;
    double sum = 0;
    generatePhasors(x, n, n, [&](int64_t first, int64_t last) GENSIGNAL_KERNEL_BODY {
        switch (plan.shape) {
            case 1: sum = sumPhases<1>(x, first, last, c, sum, segments); break;
            case 2: sum = sumPhases<2>(x, first, last, c, sum, segments); break;
            case 3: sum = sumPhases<3>(x, first, last, c, sum, segments); break;
            default: sum = sumPhases<4>(x, first, last, c, sum, segments); break;
        }
    });
    if (endPhase) *endPhase = sum;
    wave.samples = std::move(out);
    wave.length = n;
    return 0;
}

int GenSignalClass::genFMSig(FMModParams const* params, double sampleRate, Sample** samples, int* sampleCount) {
    return generateForCaller<FmPlan>(
        "genFMSig", params, samples, sampleCount, [&](FmPlan& plan) { return planFm(*params, sampleRate, plan); },
        [&](const FmPlan& plan, GeneratedWave<Sample>& wave) { return genFMSig(plan, wave); });
}

int GenSignalClass::genFMSig(const FmPlan& plan, GeneratedWave<Sample>& wave) { return fmSamples(plan, wave, nullptr); }

template <>
int FmKind::plan(const Params& p, const KindCall& call, Plan& plan) {
    // A loop takes its own length: the defined one is then no rule.
    return planFm(p, call.sampleRate, plan, !call.exact());
}

template <>
NaturalPeriod FmKind::period(const Params& params, const KindCall& call) {
    return periodOfModulation(call.sampleRate, params.modFrequency);
}

template <>
bool FmKind::aboveNyquist(const Params& params, double fs, BandReason& why) {
    const FMModParams p = params;
    if (!(fs > 0) || !std::isfinite(fs)) return false;
    if (std::isfinite(p.freqDeviation) && toneAbove(p.freqDeviation, fs / 2))
        return say(why, "FMModParams.freqDeviation = %s: lies at or above half the sample rate, %s Hz",
                   numberText(p.freqDeviation).text, numberText(fs / 2).text);
    if (std::isfinite(p.modFrequency) && toneAbove(p.modFrequency, fs / 2))
        return say(why, "FMModParams.modFrequency = %s: lies at or above half the sample rate, %s Hz",
                   numberText(p.modFrequency).text, numberText(fs / 2).text);
    return false;
}

template <>
int FmKind::generate(GenSignalClass&, const Plan& plan, const KindCall&, GeneratedWave<Sample>& wave, MadeLoop& made) {
    double end = 0;
    if (int rc = fmSamples(plan, wave, &end)) return rc;
    made.periods = plan.periods;
    if (missed(end) > kPhaseTolerance) made.seam = "the phase does not come back to its start over the buffer";
    return 0;
}

template <>
int FmKind::loop(GenSignalClass&, const Params& p, const Plan& plan, const KindCall& call, const NaturalPeriod& period,
                 GeneratedWave<Sample>& wave, MadeLoop& made) {
    const double fs = call.sampleRate;
    if (plan.definedLength && definedIsLoop(period, plan.periods, plan.samples)) {
        double end = 0;
        if (int rc = fmSamples(plan, wave, &end)) return rc;
        made.periods = plan.periods;
        if (missed(end) <= kPhaseTolerance) return 0;
        wave = GeneratedWave<Sample>();  // whole samples, but the phase runs on
    }
    LoopLength loop{};
    if (int rc = closeLoop(
            period, fs,
            modFrequencyField("FMModParams.modFrequency", offsetof(FMModParams, modFrequency), p.modFrequency, fs),
            loop))
        return rc;
    // The phase one loop leaves behind; as many loops as bring it back to a
    // whole number of turns.
    const Rational fraction = periodsPerSample(period);
    double drift = 0;
    const int64_t loops = loopsClosingPhase(plan, fraction, loop, drift);
    if (loops == 0)
        return refuse(-1,
                      "FMModParams.freqDeviation = %s: the phase moves on by %s rad over each loop of %lld periods "
                      "and misses its start by at least %s rad within 4096 periods and 2^26 samples",
                      numberText(p.freqDeviation).text, numberText(std::remainder(drift, kTwoPi)).text,
                      static_cast<long long>(loop.periods), numberText(missed(drift)).text);
    const int64_t n = loop.samples * loops;
    Buffer<Sample> x(static_cast<size_t>(n));
    if (!x) return outOfMemory<Sample>(-3, static_cast<size_t>(n), "FM samples");
    preferHugePages(x.get(), x.bytesFor(static_cast<size_t>(n)));
    const double end = exactPhaseAfter(plan.shape, fraction, plan.phaseStep, n, x.get());
    if (missed(end) > kPhaseTolerance)
        return refuse(-1, "FMModParams.freqDeviation = %s: the phase misses its start by %s rad after %lld periods",
                      numberText(p.freqDeviation).text, numberText(missed(end)).text,
                      static_cast<long long>(loop.periods * loops));
    phasorsInBlocks(x.get(), n);
    wave.samples = std::move(x);
    wave.length = static_cast<int>(n);
    made.periods = loop.periods * loops;
    return 0;
}
