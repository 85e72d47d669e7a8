#include "stepSweep.h"

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

// Whether the defined sweep changes step exactly at multiples of `dwell`
// samples.
bool definedStepsOnBoundaries(const StepSweepPlan& plan, int64_t dwell) {
    for (int64_t s = 1; s < plan.steps; ++s) {
        const int b = static_cast<int>(s * dwell);
        if (!nextStepReached(plan, static_cast<int>(s), b) || nextStepReached(plan, static_cast<int>(s), b - 1))
            return false;
    }
    return true;
}

// The samples of one dwell when it spans a whole number of them, else 0;
// never a refusal (the defined mode asks too).
int64_t wholeDwell(const StepSweepPlan& plan, double fs) {
    const auto span = product(decimalRational(plan.dwellTime), decimalRational(fs));
    return span && span->whole() && span->num <= static_cast<u128>(INT32_MAX) ? static_cast<int64_t>(span->num) : 0;
}

// The defined phase law over exact boundaries: step k for samples
// [k dwell, (k + 1) dwell).
void exactBoundaryPhases(const StepSweepPlan& plan, double fs, int64_t dwell, int64_t n, Sample* y) {
    const double dt = 1 / fs;
    double phi = 0;
    for (int64_t i = 0; i < n; ++i) {
        const double f = (static_cast<double>(i / dwell) - plan.centre) * plan.delta;
        phi = std::fma(f * kTwoPi, dt, phi);
        storePhase(y + i, phi);
    }
    phasorsInBlocks(y, n);
}

}  // namespace

int planStepSweep(const StepSweepParams& p, double sampleRate, StepSweepPlan& plan) {
    countPlan();
    if (int rc = checkSampleRate(sampleRate)) return rc;
    const int S = p.stepCount;
    if (S < 2) return refuse(-1, "StepSweepParams.stepCount = %d: must be at least 2", S);
    const double dwell = p.dwellTime;
    if (!finitePositive(dwell))
        return refuse(-1, "StepSweepParams.dwellTime = %s: must be finite and above 0", numberText(dwell).text);
    const double start = p.startFrequency;
    const double stop = p.stopFrequency;
    if (!std::isfinite(start))
        return refuse(-1, "StepSweepParams.startFrequency = %s: must be finite", numberText(start).text);
    if (!std::isfinite(stop))
        return refuse(-1, "StepSweepParams.stopFrequency = %s: must be finite", numberText(stop).text);
    // A whole number of Hz, negative when the sweep runs downwards.
    const double delta = std::floor((stop - start) / (S - 1));
    if (!std::isfinite(delta))
        return refuse(-1, "StepSweepParams.stopFrequency = %s: its distance from startFrequency = %s must be finite",
                      numberText(stop).text, numberText(start).text);

    const double length = std::floor(dwell * sampleRate * S);
    if (!countFits(length)) return refuseLength(length);
    if (length < 1)
        return refuse(-1, "StepSweepParams.dwellTime = %s: %d steps must span at least one sample at sampleRate = %s",
                      numberText(dwell).text, S, numberText(sampleRate).text);

    plan = {static_cast<int>(length), S, dwell, delta, (S - 1) / 2.0, 1 / sampleRate};
    return 0;
}

int GenSignalClass::genStepSweepSig(StepSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    return fillForCaller<StepSweepPlan>(
        "genStepSweepSig", params, samples, sampleCount,
        [&](StepSweepPlan& plan) { return planStepSweep(*params, sampleRate, plan); },
        [&](const StepSweepPlan& plan, std::complex<float>* s) { return genStepSweepSig(plan, s); });
}

int GenSignalClass::genStepSweepSig(const StepSweepPlan& plan, std::complex<float>* samples) {
    // Step s (counted from 1) is in force from the first sample whose time
    // i * dt reaches (s - 1) * dwellTime; phi = fma(f * 2 pi, dt, phi).
    // Step k sits at (k - centre) * delta, formed when the step changes: S
    // may be far larger than the number of samples.
    preferHugePages(samples, sizeof(std::complex<float>) * static_cast<size_t>(plan.samples));
    // The state is carried in locals within each block, where the stores
    // into the slots cannot touch it.
    struct State {
        int s;     // step in force
        double f;  // its frequency
        double phi;
    } state{1, (0 - plan.centre) * plan.delta, 0};
    const double dt = plan.dt;
    generatePhasors(samples, plan.samples, plan.samples, [&](int64_t first, int64_t last) GENSIGNAL_KERNEL_BODY {
        int s = state.s;
        double f = state.f, phi = state.phi;
        for (int64_t k = first; k < last; ++k) {
            const int i = static_cast<int>(k);
            if (s < plan.steps && nextStepReached(plan, s, i)) {
                ++s;
                f = ((s - 1) - plan.centre) * plan.delta;
            }
            phi = std::fma(f * kTwoPi, dt, phi);
            storePhase(samples + k, phi);
        }
        state = {s, f, phi};
    });
    return 0;
}

template <>
int StepSweepKind::plan(const Params& p, const KindCall& call, Plan& plan) {
    return planStepSweep(p, call.sampleRate, plan);
}

template <>
NaturalPeriod StepSweepKind::period(const Params& params, const KindCall& call) {
    const StepSweepParams p = params;
    const auto sweep = product(decimalRational(p.dwellTime), exactCount(p.stepCount));
    return periodOf(product(sweep, decimalRational(call.sampleRate)), Rational{1, 1},
                    p.dwellTime * call.sampleRate * p.stepCount);
}

template <>
bool StepSweepKind::aboveNyquist(const Params& params, double fs, BandReason& why) {
    const StepSweepParams p = params;
    if (!(fs > 0) || !std::isfinite(fs) || p.stepCount < 2 || !std::isfinite(p.startFrequency) ||
        !std::isfinite(p.stopFrequency))
        return false;
    const double delta = std::floor((p.stopFrequency - p.startFrequency) / (p.stepCount - 1));
    const double outermost = ((p.stepCount - 1) / 2.0) * delta;
    if (!std::isfinite(outermost) || !toneAbove(outermost, fs / 2)) return false;
    return say(why,
               "StepSweepParams.stopFrequency = %s: the outermost step, %s Hz, lies at or above half the sample "
               "rate, %s Hz",
               numberText(p.stopFrequency).text, numberText(std::fabs(outermost)).text, numberText(fs / 2).text);
}

template <>
int StepSweepKind::generate(GenSignalClass& obj, const Plan& plan, const KindCall& call, GeneratedWave<Sample>& wave,
                            MadeLoop& made) {
    const int64_t dwell = wholeDwell(plan, call.sampleRate);
    if (dwell == 0 || plan.samples != dwell * plan.steps || !definedStepsOnBoundaries(plan, dwell))
        made.seam = "its steps do not span whole samples, so the phase does not come back to its start";
    Buffer<Sample> x(static_cast<size_t>(plan.samples));
    if (!x) return outOfMemory<Sample>(-1, static_cast<size_t>(plan.samples), "samples");
    if (int rc = obj.genStepSweepSig(plan, x.get())) return rc;
    wave.samples = std::move(x);
    wave.length = plan.samples;
    return 0;
}

template <>
int StepSweepKind::loop(GenSignalClass& obj, const Params&, const Plan& plan, const KindCall& call,
                        const NaturalPeriod&, GeneratedWave<Sample>& wave, MadeLoop& made) {
    const double fs = call.sampleRate;
    int64_t dwell = 0;
    if (int rc =
            wholeSpan("StepSweepParams.dwellTime", offsetof(StepSweepParams, dwellTime), plan.dwellTime, fs, dwell))
        return rc;
    const int64_t n = dwell * plan.steps;
    if (n > kMaxLoopSamples) return refuseBeyondLoopCap("the sweep", n);
    Buffer<Sample> x(static_cast<size_t>(n));
    if (!x) return outOfMemory<Sample>(-3, static_cast<size_t>(n), "sweep samples");
    preferHugePages(x.get(), x.bytesFor(static_cast<size_t>(n)));
    if (plan.samples == n && definedStepsOnBoundaries(plan, dwell)) {
        if (int rc = obj.genStepSweepSig(plan, x.get())) return rc;
    } else {
        exactBoundaryPhases(plan, fs, dwell, n, x.get());
    }
    wave.samples = std::move(x);
    wave.length = static_cast<int>(n);
    made.periods = 1;
    return 0;
}
