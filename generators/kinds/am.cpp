#include "am.h"

#include <cstddef>
#include <cmath>

#include "blockPipeline.h"
#include "buffer.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "lastError.h"
#include "mathConstants.h"
#include "modulatingWave.h"
#include "modulationLoop.h"
#include "planCount.h"
#include "rangeChecks.h"

namespace {

constexpr int kPerThread = 1 << 15;  // fewer samples per thread stay on one thread
constexpr int kChunk = 8192;         // samples a thread takes at a time

// The rules before the length: the rate, the frequency, the depth.
int amRates(const AMModParams& p, double sampleRate, double& m) {
    if (int rc = checkSampleRate(sampleRate)) return rc;
    if (!finitePositive(p.modFrequency))
        return refuse(-1, "AMModParams.modFrequency = %s: must be finite and above 0", numberText(p.modFrequency).text);
    m = p.modDepth / 100;
    if (!(m > 0)) return refuse(-1, "AMModParams.modDepth = %s: must be above 0", numberText(p.modDepth).text);
    return 0;
}

double amOffset(int shape, double m) { return shape == 1 ? 1 / m : 0.5 / m - 0.5; }

}  // namespace

int planAm(const AMModParams& p, double sampleRate, AmPlan& plan, bool lengthIsRule) {
    countPlan();
    double m = 0;
    if (int rc = amRates(p, sampleRate, m)) return rc;
    const double fm = p.modFrequency;
    const double q = sampleRate / fm;  // samples per modulation period
    const double k = wholePeriodCount(q);
    const double v = k * q;
    const bool fits = countFits(v) && static_cast<int>(v) > 0;
    if (!countFits(v) && lengthIsRule) return refuseLength(std::floor(v));
    if (!fits && lengthIsRule)
        return refuse(-1, "AMModParams.modFrequency = %s: 10000 periods make no whole sample at sampleRate = %s",
                      numberText(fm).text, numberText(sampleRate).text);
    const int shape = p.modShape;
    if (!knownModShape(shape)) return refuse(-1, "AMModParams.modShape = %d: %s", shape, kModShapeRule);

    plan = {fits ? static_cast<int>(v) : 0, shape, fm, amOffset(shape, m), sampleRate, static_cast<int>(k), fits};
    return 0;
}

int GenSignalClass::genAMSig(AMModParams const* params, double sampleRate, double** samples, int* sampleCount) {
    return generateForCaller<AmPlan>(
        "genAMSig", params, samples, sampleCount, [&](AmPlan& plan) { return planAm(*params, sampleRate, plan); },
        [&](const AmPlan& plan, GeneratedWave<double>& wave) { return genAMSig(plan, wave); });
}

int GenSignalClass::genAMSig(const AmPlan& plan, GeneratedWave<double>& wave) {
    const int n = plan.samples;
    Buffer<double> x(static_cast<size_t>(n));
    if (!x) return outOfMemory<double>(-1, n, "AM envelope");
    preferHugePages(x.get(), x.bytesFor(n));
    // The frame's peak and rounding are defined on these doubles, so they
    // are kept; the offset is added as each value is formed.
    const double d = plan.offset;
    double* y = x.get();
    if (plan.shape == 1) {
        const double dt = 1 / plan.sampleRate;
        const double w = kTwoPi * plan.modFrequency;
        // Chunks go to whichever thread is free: on a busy machine a thread
        // that starts late takes fewer of them.
#pragma omp parallel for schedule(dynamic, kChunk) num_threads(teamNowFor(n, kPerThread)) if (n >= 2 * kPerThread)
        for (int i = 0; i < n; ++i) y[i] = std::sin(i * dt * w) + d;
    } else {
        SegmentWave segments(plan.modFrequency, plan.sampleRate);
        switch (plan.shape) {
            case 2: segments.fill<2>(y, n, d); break;
            case 3: segments.fill<3>(y, n, d); break;
            default: segments.fill<4>(y, n, d); break;
        }
    }
    wave.samples = std::move(x);
    wave.length = n;
    return 0;
}

template <>
int AmKind::plan(const Params& p, const KindCall& call, Plan& plan) {
    // A loop takes its own length: the defined one is then no rule.
    return planAm(p, call.sampleRate, plan, !call.exact());
}

template <>
NaturalPeriod AmKind::period(const Params& params, const KindCall& call) {
    return periodOfModulation(call.sampleRate, params.modFrequency);
}

template <>
bool AmKind::aboveNyquist(const Params& params, double fs, BandReason& why) {
    const AMModParams p = params;
    if (!(fs > 0) || !std::isfinite(fs) || !std::isfinite(p.modFrequency) || !toneAbove(p.modFrequency, fs / 2))
        return false;
    return say(why, "AMModParams.modFrequency = %s: lies at or above half the sample rate, %s Hz",
               numberText(p.modFrequency).text, numberText(fs / 2).text);
}

template <>
int AmKind::generate(GenSignalClass& obj, const Plan& plan, const KindCall&, GeneratedWave<Sample>& wave,
                     MadeLoop& made) {
    made.periods = plan.periods;
    return obj.genAMSig(plan, wave);
}

template <>
int AmKind::loop(GenSignalClass& obj, const Params& p, const Plan& plan, const KindCall& call,
                 const NaturalPeriod& period, GeneratedWave<Sample>& wave, MadeLoop& made) {
    if (plan.definedLength && definedIsLoop(period, plan.periods, plan.samples)) {
        made.periods = plan.periods;
        return obj.genAMSig(plan, wave);
    }
    const double fs = call.sampleRate;
    LoopLength loop{};
    if (int rc = closeLoop(
            period, fs,
            modFrequencyField("AMModParams.modFrequency", offsetof(AMModParams, modFrequency), p.modFrequency, fs),
            loop))
        return rc;
    const int n = static_cast<int>(loop.samples);
    Buffer<double> x(static_cast<size_t>(n));
    if (!x) return outOfMemory<double>(-3, n, "AM envelope");
    preferHugePages(x.get(), x.bytesFor(n));
    // The defined envelope's values at exact positions, over the loop.
    ExactWave exactWave(plan.shape, periodsPerSample(period));
    for (int i = 0; i < n; ++i) x[i] = exactWave.next() + plan.offset;
    wave.samples = std::move(x);
    wave.length = n;
    made.periods = loop.periods;
    return 0;
}
