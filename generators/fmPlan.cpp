#include "fmPlan.h"

#include <cmath>

#include "lastError.h"
#include "mathConstants.h"
#include "modulatingWave.h"
#include "planCount.h"
#include "rangeChecks.h"

int planFm(const FMModParams& p, double sampleRate, FmPlan& plan) {
    countPlan();
    if (int rc = checkSampleRate(sampleRate)) return rc;
    const double fm = p.modFrequency;
    if (!finitePositive(fm))
        return refuse(-1, "FMModParams.modFrequency = %s: must be finite and above 0", numberText(fm).text);
    // Any finite deviation is fine; a non-finite one would only yield NaN phases.
    const double deviation = p.freqDeviation;
    if (!std::isfinite(deviation))
        return refuse(-1, "FMModParams.freqDeviation = %s: must be finite", numberText(deviation).text);

    const double k = wholePeriodCount(sampleRate / fm);
    const double length = std::floor(((1 / fm) * k) / (1 / sampleRate));
    if (!countFits(length)) return refuseLength(length);
    const int shape = p.modShape;
    if (!knownModShape(shape)) return refuse(-1, "FMModParams.modShape = %d: %s", shape, kModShapeRule);

    plan = {static_cast<int>(length), shape, fm, (kTwoPi / sampleRate) * deviation, sampleRate};
    return 0;
}
