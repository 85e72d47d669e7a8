#include "stepSweepPlan.h"

#include <cmath>

#include "lastError.h"
#include "planCount.h"
#include "rangeChecks.h"

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
