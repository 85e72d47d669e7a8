// FM: a unit phasor whose phase integrates a sine, square, triangle or
// sawtooth scaled by the peak deviation, over a whole number of modulation
// periods whenever one fits whole samples.
#include <cmath>

#include "buffer.h"
#include "function.h"
#include "genSignalClass.h"
#include "planChecks.h"

namespace {

struct FmPlan {
    int samples;  // may be 0: a valid, empty result
    int shape;
    double modFrequency;
    double phaseStep;  // radians per sample per unit of the modulating wave
};

int planFm(const FMModParams& p, double sampleRate, FmPlan& plan) {
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

    plan = {static_cast<int>(length), shape, fm, (kTwoPi / sampleRate) * deviation};
    return 0;
}

}  // namespace

int GenSignalClass::genFMSig(FMModParams const* params, double sampleRate, std::complex<float>** samples,
                             int* sampleCount) {
    if (!params) return refuseNull("genFMSig", "params");
    if (!samples) return refuseNull("genFMSig", "samples");
    if (!sampleCount) return refuseNull("genFMSig", "sampleCount");
    FmPlan plan{};
    if (int rc = planFm(*params, sampleRate, plan)) return rc;

    // A modulating frequency far above the sample rate leaves no sample at
    // all: that result needs no arrays.
    const int n = plan.samples;
    if (n == 0) {
        *samples = nullptr;
        *sampleCount = 0;
        return 0;
    }
    Buffer<std::complex<float>> out(static_cast<size_t>(n));
    if (!out) return refuse(-1, "out of memory: %zu bytes for the FM samples", out.bytesFor(n));
    Buffer<double> w(static_cast<size_t>(n));
    if (!w) return refuse(-1, "out of memory: %zu bytes for the modulating wave", w.bytesFor(n));

    modulatingWave(plan.shape, plan.modFrequency, sampleRate, n, w.get());
    // Map the wave onto -1 ... 1 (the sine already is).
    switch (plan.shape) {
        case 2:
            for (int i = 0; i < n; ++i) w[i] = w[i] + w[i] - 1;
            break;
        case 3:
            for (int i = 0; i < n; ++i) w[i] = (w[i] - 0.5) + (w[i] - 0.5);
            break;
        case 4:
            for (int i = 0; i < n; ++i) w[i] = w[i] * 2 - 1;
            break;
    }

    // The phase advances before each sample is formed, so sample 0 already
    // carries the increment of w[0].
    const double c = plan.phaseStep;
    double phi = 0;
    for (int i = 0; i < n; ++i) {
        phi = std::fma(w[i], c, phi);
        out[i] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }

    *samples = out.release();
    *sampleCount = n;
    return 0;
}
