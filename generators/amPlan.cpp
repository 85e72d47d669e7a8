#include "amPlan.h"

#include <cmath>

#include "lastError.h"
#include "modulatingWave.h"
#include "planCount.h"
#include "rangeChecks.h"

namespace {

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

int planAm(const AMModParams& p, double sampleRate, AmPlan& plan) {
    countPlan();
    double m = 0;
    if (int rc = amRates(p, sampleRate, m)) return rc;
    const double fm = p.modFrequency;
    const double q = sampleRate / fm;  // samples per modulation period
    const double v = wholePeriodCount(q) * q;
    if (!countFits(v)) return refuseLength(std::floor(v));
    const int n = static_cast<int>(v);
    if (n == 0)
        return refuse(-1, "AMModParams.modFrequency = %s: 10000 periods make no whole sample at sampleRate = %s",
                      numberText(fm).text, numberText(sampleRate).text);
    const int shape = p.modShape;
    if (!knownModShape(shape)) return refuse(-1, "AMModParams.modShape = %d: %s", shape, kModShapeRule);

    plan = {n, shape, fm, amOffset(shape, m), sampleRate};
    return 0;
}

int planAmLoop(const AMModParams& p, double sampleRate, AmPlan& plan) {
    countPlan();
    double m = 0;
    if (int rc = amRates(p, sampleRate, m)) return rc;
    const int shape = p.modShape;
    if (!knownModShape(shape)) return refuse(-1, "AMModParams.modShape = %d: %s", shape, kModShapeRule);
    plan = {0, shape, p.modFrequency, amOffset(shape, m), sampleRate};
    return 0;
}
