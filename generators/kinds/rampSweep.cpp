#include "rampSweep.h"

#include <cstddef>
#include <cmath>
#include <complex>
#include <cstdint>

#include "buffer.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "lastError.h"
#include "loopClosing.h"
#include "mathConstants.h"
#include "phasePipeline.h"
#include "phaseSlots.h"
#include "planCount.h"
#include "rangeChecks.h"

namespace {

using Sample = std::complex<float>;

// The samples the ramp and its silence need, made in an array of exactly
// the plan's length (-1 or -3 when it cannot be had).
int rampSamples(GenSignalClass& obj, const RampSweepPlan& plan, int code, const char* what,
                GeneratedWave<Sample>& wave) {
    Buffer<Sample> x(static_cast<size_t>(plan.samples));
    if (!x) return outOfMemory<Sample>(code, static_cast<size_t>(plan.samples), what);
    if (int rc = obj.genRampSweepSig(plan, x.get())) return rc;
    wave.samples = std::move(x);
    wave.length = plan.samples;
    return 0;
}

}  // namespace

int planRampSweep(const RampSweepParams& p, double sampleRate, RampSweepPlan& plan) {
    countPlan();
    if (int rc = checkSampleRate(sampleRate)) return rc;
    const double bandwidth = p.sweepBandwidth;
    if (!finitePositive(bandwidth))
        return refuse(-1, "RampSweepParams.sweepBandwidth = %s: must be finite and above 0",
                      numberText(bandwidth).text);
    const double sweepTime = p.sweepTime;
    if (!finitePositive(sweepTime))
        return refuse(-1, "RampSweepParams.sweepTime = %s: must be finite and above 0", numberText(sweepTime).text);
    const double duration = p.duration;
    if (!finitePositive(duration))
        return refuse(-1, "RampSweepParams.duration = %s: must be finite and above 0", numberText(duration).text);

    // A sweep longer than the duration makes the waveform as long as the
    // sweep; the whole length is never shorter than the ramp.
    const double rampLength = std::floor(sweepTime * sampleRate);
    const double totalLength = std::floor((sweepTime > duration ? sweepTime : duration) * sampleRate);
    if (!countFits(totalLength)) return refuseLength(totalLength);
    if (rampLength < 1)
        return refuse(-1, "RampSweepParams.sweepTime = %s: must span at least one sample at sampleRate = %s",
                      numberText(sweepTime).text, numberText(sampleRate).text);

    plan = {static_cast<int>(totalLength), static_cast<int>(rampLength), sweepTime, bandwidth / sweepTime, sampleRate};
    return 0;
}

int GenSignalClass::genRampSweepSig(RampSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    return fillForCaller<RampSweepPlan>(
        "genRampSweepSig", params, samples, sampleCount,
        [&](RampSweepPlan& plan) { return planRampSweep(*params, sampleRate, plan); },
        [&](const RampSweepPlan& plan, std::complex<float>* s) { return genRampSweepSig(plan, s); });
}

int GenSignalClass::genRampSweepSig(const RampSweepPlan& plan, std::complex<float>* samples) {
    // Ramp sample k: the time k / sampleRate + start, centred on the middle
    // of the ramp, and phi = fma(w, kappa * t, phi); silence after the ramp.
    preferHugePages(samples, sizeof(std::complex<float>) * static_cast<size_t>(plan.samples));
    const double sampleRate = plan.sampleRate;
    const double start = -(plan.sweepTime * 0.5);
    const double kappa = plan.chirpRate;
    const double w = kTwoPi / sampleRate;
    double sum = 0;  // carried in a local within each block, where the stores cannot touch it
    generatePhasors(samples, plan.samples, plan.rampSamples, [&](int64_t first, int64_t last) GENSIGNAL_KERNEL_BODY {
        double phi = sum;
        for (int64_t k = first; k < last; ++k) {
            const double t = static_cast<int>(k) / sampleRate + start;
            phi = std::fma(w, kappa * t, phi);
            storePhase(samples + k, phi);
        }
        sum = phi;
    });
    return 0;
}

template <>
int RampSweepKind::plan(const Params& p, const KindCall& call, Plan& plan) {
    return planRampSweep(p, call.sampleRate, plan);
}

template <>
NaturalPeriod RampSweepKind::period(const Params& params, const KindCall& call) {
    const RampSweepParams p = params;
    const double longer = p.sweepTime <= p.duration ? p.duration : p.sweepTime;
    return periodOf(product(decimalRational(longer), decimalRational(call.sampleRate)), Rational{1, 1},
                    longer * call.sampleRate);
}

template <>
bool RampSweepKind::aboveNyquist(const Params& params, double fs, BandReason& why) {
    const RampSweepParams p = params;
    if (!(fs > 0) || !std::isfinite(fs) || !std::isfinite(p.sweepBandwidth)) return false;
    const double edge = p.sweepBandwidth / 2;
    if (!(edge > fs / 2)) return false;
    return say(why, "RampSweepParams.sweepBandwidth = %s: its edge, %s Hz, lies above half the sample rate, %s Hz",
               numberText(p.sweepBandwidth).text, numberText(edge).text, numberText(fs / 2).text);
}

template <>
int RampSweepKind::generate(GenSignalClass& obj, const Plan& plan, const KindCall&, GeneratedWave<Sample>& wave,
                            MadeLoop&) {
    return rampSamples(obj, plan, -1, "samples", wave);
}

template <>
int RampSweepKind::loop(GenSignalClass& obj, const Params& p, const Plan& plan, const KindCall& call,
                        const NaturalPeriod&, GeneratedWave<Sample>& wave, MadeLoop& made) {
    const bool rampLonger = p.sweepTime > p.duration;
    int64_t n = 0;
    if (int rc = wholeSpan(rampLonger ? "RampSweepParams.sweepTime" : "RampSweepParams.duration",
                           rampLonger ? offsetof(RampSweepParams, sweepTime) : offsetof(RampSweepParams, duration),
                           rampLonger ? p.sweepTime : p.duration, call.sampleRate, n))
        return rc;
    if (n > kMaxLoopSamples) return refuseBeyondLoopCap("the ramp and its silence", n);
    made.periods = 1;
    return rampSamples(obj, plan, -3, "ramp samples", wave);
}
