// One period of a rectangular pulse train (1.0 high, 0.0 low), laid out in
// whole samples and resampled when that rate is off the requested one.
#include <cmath>

#include "buffer.h"
#include "farrow.h"
#include "genSignalClass.h"
#include "pulsePlan.h"
#include "rangeChecks.h"

int planPulse(const PulseParams& p, double sampleRate, PulsePlan& plan) {
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

    plan = {P, static_cast<int>(wSamples), rInt, resample, resampled};
    return 0;
}

int GenSignalClass::genPulseSig(PulseParams const* params, double sampleRate, float** samples, int* sampleCount) {
    if (!params) return refuseNull("genPulseSig", "params");
    if (!samples) return refuseNull("genPulseSig", "samples");
    if (!sampleCount) return refuseNull("genPulseSig", "sampleCount");
    PulsePlan plan{};
    if (int rc = planPulse(*params, sampleRate, plan)) return rc;

    const int P = plan.periodSamples;
    Buffer<float> x(static_cast<size_t>(P));
    if (!x) return refuse(-1, "out of memory: %zu bytes for the pulse period", x.bytesFor(P));
    for (int i = 0; i < P; ++i) x[i] = i < plan.highSamples ? 1.0f : 0.0f;

    if (!plan.resample) {
        *samples = x.release();
        *sampleCount = P;
        return 0;
    }
    // The resampler allocates its output itself and reports a length of 0
    // when it cannot.
    float* resampled = nullptr;
    int n = 0;
    FarrowInterp_real(x.get(), P, sampleRate, plan.internalRate, &resampled, &n);
    Buffer<float> y = Buffer<float>::adopt(resampled, static_cast<size_t>(n > 0 ? n : 0));
    if (n <= 0)
        return refuse(-1, "out of memory: %zu bytes for the resampled pulse", Buffer<float>::bytesFor(plan.resampled));
    *samples = y.release();
    *sampleCount = n;
    return 0;
}
