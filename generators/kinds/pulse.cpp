#include "pulse.h"

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <complex>
#include <utility>

#include "buffer.h"
#include "farrow.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "lastError.h"
#include "loopClosing.h"
#include "periodicResampler.h"
#include "planCount.h"
#include "rangeChecks.h"

int planPulse(const PulseParams& p, double sampleRate, PulsePlan& plan) {
    countPlan();
    if (int rc = checkSampleRate(sampleRate)) return rc;
    const double period = p.pulsePeriod;
    if (!finitePositive(period))
        return refuse(-1, "PulseParams.pulsePeriod = %s: must be finite and above 0", numberText(period).text);
    const double width = p.pulseWidth;
    if (!finitePositive(width))
        return refuse(-1, "PulseParams.pulseWidth = %s: must be finite and above 0", numberText(width).text);

    const double pSamples = std::floor(period * sampleRate);
    if (!countFits(pSamples)) return refuseLength(pSamples);
    if (pSamples < 1)
        return refuse(-1, "PulseParams.pulsePeriod = %s: must span at least one sample at sampleRate = %s",
                      numberText(period).text, numberText(sampleRate).text);
    const int P = static_cast<int>(pSamples);
    const double wSamples = std::floor(width * sampleRate);
    if (!(wSamples <= pSamples))
        return refuse(-1, "PulseParams.pulseWidth = %s: must not span more than the %d samples of pulsePeriod = %s",
                      numberText(width).text, P, numberText(period).text);

    const double rInt = P / period;
    const bool resample = !(std::fabs(rInt - sampleRate) <= 1e-6);
    const int resampled = resample ? farrowOutputLength(P, sampleRate, rInt) : P;
    if (resample && resampled < 0) return refuseLength(std::fmax(std::ceil(P * sampleRate / rInt), kMaxSamples));

    plan = {P, static_cast<int>(wSamples), rInt, resample, resampled, sampleRate};
    return 0;
}

int GenSignalClass::genPulseSig(PulseParams const* params, double sampleRate, float** samples, int* sampleCount) {
    return generateForCaller<PulsePlan>(
        "genPulseSig", params, samples, sampleCount,
        [&](PulsePlan& plan) { return planPulse(*params, sampleRate, plan); },
        [&](const PulsePlan& plan, GeneratedWave<float>& wave) {
            if (int rc = genPulseSig(plan, wave)) return rc;
            return expandRuns(wave, -1, "pulse period");
        });
}

int GenSignalClass::genPulseSig(const PulsePlan& plan, GeneratedWave<float>& wave) {
    const int P = plan.periodSamples;
    if (!plan.resample) {
        Buffer<SampleRun<float>> runs(2);
        if (!runs) return outOfMemory<SampleRun<float>>(-1, 2, "pulse's runs");
        runs[0] = {1.0f, plan.highSamples};
        runs[1] = {0.0f, P - plan.highSamples};
        wave.runs = std::move(runs);
        wave.length = P;
        return 0;
    }
    Buffer<float> x(static_cast<size_t>(P));
    if (!x) return outOfMemory<float>(-1, P, "pulse period");
    for (int i = 0; i < P; ++i) x[i] = i < plan.highSamples ? 1.0f : 0.0f;
    Buffer<float> y(static_cast<size_t>(plan.resampled));
    if (!y) return outOfMemory<float>(-1, plan.resampled, "resampled pulse");
    farrowResample(x.get(), P, plan.internalRate / plan.sampleRate, plan.resampled, y.get());
    wave.samples = std::move(y);
    wave.length = plan.resampled;
    return 0;
}

template <>
int PulseKind::plan(const Params& p, const KindCall& call, Plan& plan) {
    return planPulse(p, call.sampleRate, plan);
}

template <>
NaturalPeriod PulseKind::period(const Params& params, const KindCall& call) {
    return periodOfDuration(params.pulsePeriod, call.sampleRate);
}

template <>
int PulseKind::generate(GenSignalClass& obj, const Plan& plan, const KindCall&, GeneratedWave<Sample>& wave,
                        MadeLoop& made) {
    if (plan.resample) made.seam = "the cubic resampler does not wrap around the pulse period";
    return obj.genPulseSig(plan, wave);
}

template <>
int PulseKind::loop(GenSignalClass&, const Params& p, const Plan& plan, const KindCall& call,
                    const NaturalPeriod& period, GeneratedWave<Sample>& wave, MadeLoop& made) {
    const double fs = call.sampleRate;
    LoopLength loop{};
    if (int rc = closeLoop(period, fs,
                           {"PulseParams.pulsePeriod", p.pulsePeriod,
                            closingRule(decimalRational(fs), FieldRole::scales), offsetof(PulseParams, pulsePeriod)},
                           loop))
        return rc;
    const int L = plan.periodSamples, W = plan.highSamples;
    const size_t M = static_cast<size_t>(loop.samples);
    Buffer<float> y(M);
    if (!y) return outOfMemory<float>(-3, M, "pulse samples");
    preferHugePages(y.get(), y.bytesFor(M));
    // Input samples per output: L over the samples of one period at fs.
    const auto ratio = divide(wholeRational(static_cast<uint64_t>(L)), *period.samples);
    if (ratio && *ratio == Rational{1, 1}) {
        for (size_t i = 0; i < M; ++i) y[i] = i < static_cast<size_t>(W) ? 1.0f : 0.0f;
    } else {
        if (!ratio || ratio->num > static_cast<u128>(INT64_MAX) || ratio->den > static_cast<u128>(INT64_MAX))
            return refuse(-1, "PulseParams.pulsePeriod = %s: its resampling ratio has no exact fraction of 64 bits",
                          numberText(p.pulsePeriod).text);
        Buffer<std::complex<float>> x(static_cast<size_t>(L)), z(M);
        if (!x || !z) return outOfMemory<std::complex<float>>(-3, M + static_cast<size_t>(L), "pulse resampling");
        for (int i = 0; i < L; ++i) x[i] = {i < W ? 1.0f : 0.0f, 0.0f};
        PeriodicResampler resampler;
        if (int rc = resampler.design(static_cast<int64_t>(ratio->num), static_cast<int64_t>(ratio->den))) return rc;
        const std::complex<float>* period0 = x.get();
        if (int rc = resamplePeriodic(
                resampler, loop.samples,
                [&](int64_t a, int64_t b, std::complex<float>* dst) { copyPeriodic(period0, L, a, b, dst); }, z.get()))
            return rc;
        for (size_t i = 0; i < M; ++i) y[i] = z[i].real();
    }
    wave.samples = std::move(y);
    wave.length = static_cast<int>(M);
    made.periods = loop.periods;
    return 0;
}

// A rectangle has no band edge: never above.
template <>
bool PulseKind::aboveNyquist(const Params&, double, BandReason&) {
    return false;
}
