// Stepped sweep: a unit tone dwelling on S equally spaced frequencies centred
// on 0 Hz, with the phase running on continuously across the steps.
#include <cmath>

#include "function.h"
#include "genSignalClass.h"
#include "planChecks.h"
#include "presizedPlans.h"

int planStepSweep(const StepSweepParams& p, double sampleRate, StepSweepPlan& plan) {
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

    plan = {static_cast<int>(length), S, dwell, delta, (S - 1) / 2.0};
    return 0;
}

int GenSignalClass::genStepSweepSig(StepSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    if (!params) return refuseNull("genStepSweepSig", "params");
    if (!samples) return refuseNull("genStepSweepSig", "samples");
    if (!sampleCount) return refuseNull("genStepSweepSig", "sampleCount");
    StepSweepPlan plan{};
    if (int rc = planStepSweep(*params, sampleRate, plan)) return rc;

    // Step k sits at (k - centre) * delta. Only the step in force is needed,
    // so it is formed when the step changes rather than kept in a list of S
    // entries: S may be far larger than the number of samples.
    const int S = plan.steps;
    const double dwell = plan.dwellTime;
    const double dt = 1 / sampleRate;
    int s = 1;
    double f = (0 - plan.centre) * plan.delta;
    double phi = 0;
    for (int i = 0; i < plan.samples; ++i) {
        if (s < S && s * dwell <= i * dt) {
            ++s;
            f = ((s - 1) - plan.centre) * plan.delta;
        }
        phi = std::fma(f * kTwoPi, dt, phi);
        samples[i] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }

    *sampleCount = plan.samples;
    return 0;
}
