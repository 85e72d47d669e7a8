#include "fmPlan.h"

#include <cmath>

#include "lastError.h"
#include "mathConstants.h"
#include "modulatingWave.h"
#include "planCount.h"
#include "rangeChecks.h"

namespace {

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

}  // namespace

int planFm(const FMModParams& p, double sampleRate, FmPlan& plan) {
    countPlan();
    if (int rc = fmRates(p, sampleRate)) return rc;
    const double fm = p.modFrequency;
    const double k = wholePeriodCount(sampleRate / fm);
    const double length = std::floor(((1 / fm) * k) / (1 / sampleRate));
    if (!countFits(length)) return refuseLength(length);
    const int shape = p.modShape;
    if (!knownModShape(shape)) return refuse(-1, "FMModParams.modShape = %d: %s", shape, kModShapeRule);

    plan = {static_cast<int>(length), shape, fm, (kTwoPi / sampleRate) * p.freqDeviation, sampleRate};
    return 0;
}

int planFmLoop(const FMModParams& p, double sampleRate, FmPlan& plan) {
    countPlan();
    if (int rc = fmRates(p, sampleRate)) return rc;
    const int shape = p.modShape;
    if (!knownModShape(shape)) return refuse(-1, "FMModParams.modShape = %d: %s", shape, kModShapeRule);
    plan = {0, shape, p.modFrequency, (kTwoPi / sampleRate) * p.freqDeviation, sampleRate};
    return 0;
}
