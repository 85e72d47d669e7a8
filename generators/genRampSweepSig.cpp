// Linear ramp: a unit tone whose frequency climbs from -B/2 to +B/2 over the
// sweep time, then silence up to the duration.
#include <cmath>
#include <cstring>

#include "buffer.h"
#include "function.h"
#include "genSignalClass.h"
#include "planChecks.h"
#include "presizedPlans.h"

int planRampSweep(const RampSweepParams& p, double sampleRate, RampSweepPlan& plan) {
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

    plan = {static_cast<int>(totalLength), static_cast<int>(rampLength), sweepTime, bandwidth / sweepTime};
    return 0;
}

int GenSignalClass::genRampSweepSig(RampSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    if (!params) return refuseNull("genRampSweepSig", "params");
    if (!samples) return refuseNull("genRampSweepSig", "samples");
    if (!sampleCount) return refuseNull("genRampSweepSig", "sampleCount");
    RampSweepPlan plan{};
    if (int rc = planRampSweep(*params, sampleRate, plan)) return rc;

    const int R = plan.rampSamples;
    const int N = plan.samples;
    Buffer<double> t(static_cast<size_t>(R) + 1);
    if (!t)
        return refuse(-3, "out of memory: %zu bytes for the ramp's time axis", t.bytesFor(static_cast<size_t>(R) + 1));
    Buffer<std::complex<float>> ramp(static_cast<size_t>(R));
    if (!ramp) return refuse(-3, "out of memory: %zu bytes for the ramp", ramp.bytesFor(R));

    // Time axis centred on the middle of the ramp; t[R] completes the axis
    // but is never used.
    const double start = -(plan.sweepTime * 0.5);
    for (int k = 0; k <= R; ++k) t[k] = k / sampleRate + start;
    const double kappa = plan.chirpRate;
    const double w = kTwoPi / sampleRate;
    double phi = 0;
    for (int k = 0; k < R; ++k) {
        phi = std::fma(w, kappa * t[k], phi);
        ramp[k] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }

    std::memset(static_cast<void*>(samples), 0, sizeof(std::complex<float>) * static_cast<size_t>(N));
    std::memcpy(static_cast<void*>(samples), ramp.get(), sizeof(std::complex<float>) * static_cast<size_t>(R));

    *sampleCount = N;
    return 0;
}
