// One period of a rectangular pulse train (1.0 high, 0.0 low), laid out in
// whole samples and resampled when that rate is off the requested one.
#include <cmath>
#include <cstdlib>

#include "function.h"
#include "genSignalClass.h"

int GenSignalClass::genPulseSig(PulseParams const* params, double sampleRate, float** samples, int* sampleCount) {
    if (!params || !samples || !sampleCount) return -1;
    if (!(sampleRate > 0) || !std::isfinite(sampleRate)) return -1;
    const double period = params->pulsePeriod;
    if (!(period > 0)) return -1;
    const double width = params->pulseWidth;
    if (!(width > 0)) return -1;

    // Samples per period and samples high; either one too large for an int
    // is refused (a width beyond the period would be anyway).
    const double pSamples = std::floor(period * sampleRate);
    const double wSamples = std::floor(width * sampleRate);
    if (!countFits(pSamples) || !countFits(wSamples)) return -1;
    const int P = static_cast<int>(pSamples);
    const int W = static_cast<int>(wSamples);
    if (P <= 0 || P < W) return -1;

    // A resampled period that would reach 2^30 samples is refused before
    // anything is allocated.
    const double rInt = P / period;
    const bool resample = !(std::fabs(rInt - sampleRate) <= 1e-6);
    if (resample && farrowOutputLength(P, sampleRate, rInt) < 0) return -1;

    auto* x = static_cast<float*>(std::malloc(sizeof(float) * static_cast<size_t>(P)));
    if (!x) return -1;
    for (int i = 0; i < P; ++i) x[i] = i < W ? 1.0f : 0.0f;

    if (!resample) {
        *samples = x;
        *sampleCount = P;
        return 0;
    }

    float* y = nullptr;
    FarrowInterp_real(x, P, sampleRate, rInt, &y, sampleCount);
    std::free(x);
    if (*sampleCount > 0) {
        *samples = y;
        return 0;
    }
    std::free(y);
    return -1;
}
