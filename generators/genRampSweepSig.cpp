// Linear ramp: a unit tone whose frequency climbs from -B/2 to +B/2 over the
// sweep time, then silence up to the duration.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "function.h"
#include "genSignalClass.h"

int GenSignalClass::genRampSweepSig(RampSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    if (!params || !samples || !sampleCount || !(sampleRate > 0) || !std::isfinite(sampleRate)) return -1;
    const double bandwidth = params->sweepBandwidth;
    const double sweepTime = params->sweepTime;
    const double duration = params->duration;
    // An infinite bandwidth would only yield NaN phases.
    if (!(bandwidth > 0) || !std::isfinite(bandwidth)) return -1;
    if (!(sweepTime > 0) || !(duration > 0)) return -1;

    const double rampLength = std::floor(sweepTime * sampleRate);
    const double totalLength = std::floor((sweepTime > duration ? sweepTime : duration) * sampleRate);
    // Refuse lengths that are not finite or too long to hand out.
    if (!countFits(rampLength) || !countFits(totalLength)) return -1;
    const int R = static_cast<int>(rampLength);
    const int N = static_cast<int>(totalLength);
    if (N <= 0 || R <= 0 || N < R) return -1;

    // Time axis centred on the middle of the ramp; t[R] completes the axis
    // but is never used.
    auto* t = static_cast<double*>(std::malloc(sizeof(double) * (static_cast<size_t>(R) + 1)));
    if (!t) return -3;
    const double start = -(sweepTime * 0.5);
    for (int k = 0; k <= R; ++k) t[k] = k / sampleRate + start;

    auto* ramp = static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * static_cast<size_t>(R)));
    if (!ramp) {
        std::free(t);
        return -3;
    }
    const double kappa = bandwidth / sweepTime;
    const double w = kTwoPi / sampleRate;
    double phi = 0;
    for (int k = 0; k < R; ++k) {
        phi = std::fma(w, kappa * t[k], phi);
        ramp[k] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }
    std::free(t);

    std::memset(static_cast<void*>(samples), 0, sizeof(std::complex<float>) * static_cast<size_t>(N));
    std::memcpy(static_cast<void*>(samples), ramp, sizeof(std::complex<float>) * static_cast<size_t>(R));
    std::free(ramp);

    *sampleCount = N;
    return 0;
}
