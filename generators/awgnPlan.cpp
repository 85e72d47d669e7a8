#include "awgnPlan.h"

#include <cmath>

#include "lastError.h"
#include "planCount.h"
#include "rangeChecks.h"

int planAwgn(const AWGNParams& p, double sampleRate, AwgnPlan& plan) {
    countPlan();
    if (int rc = checkSampleRate(sampleRate)) return rc;
    // Any bandwidth above half the rate acts as half the rate, infinity too.
    const double bandwidth = p.bandwidth;
    if (!(bandwidth > 0)) return refuse(-1, "AWGNParams.bandwidth = %s: must be above 0", numberText(bandwidth).text);
    const double duration = p.duration;
    if (!finitePositive(duration))
        return refuse(-1, "AWGNParams.duration = %s: must be finite and above 0", numberText(duration).text);
    // Below 2^30 samples, N + 127 stays in range too.
    const double length = std::floor(duration * sampleRate);
    if (!countFits(length)) return refuseLength(length);

    const double c = bandwidth / sampleRate;
    plan = {static_cast<int>(length), c > 0.5 ? 0.5 : c};
    return 0;
}
