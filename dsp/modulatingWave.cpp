// The length rule shared by the AM and FM generators.
#include "modulatingWave.h"

#include <cmath>
#include <initializer_list>

double wholePeriodCount(double samplesPerPeriod) {
    for (double k : {1.0, 10.0, 100.0, 1000.0}) {
        const double v = k * samplesPerPeriod;
        if (std::fabs(v - std::round(v)) < 1e-12) return k;
    }
    return 10000.0;
}
