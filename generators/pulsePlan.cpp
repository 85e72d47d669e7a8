#include "pulsePlan.h"

#include <cmath>

#include "farrow.h"
#include "lastError.h"
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
