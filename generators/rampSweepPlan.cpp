#include "rampSweepPlan.h"

#include <cmath>

#include "lastError.h"
#include "planCount.h"
#include "rangeChecks.h"

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
