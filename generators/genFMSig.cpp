// FM: a unit phasor whose phase integrates a sine, square, triangle or
// sawtooth scaled by the peak deviation, over a whole number of modulation
// periods whenever one fits whole samples.
#include <cmath>
#include <cstdlib>

#include "function.h"
#include "genSignalClass.h"

int GenSignalClass::genFMSig(FMModParams const* params, double sampleRate, std::complex<float>** samples,
                             int* sampleCount) {
    if (!params || !samples || !sampleCount || !(sampleRate > 0) || !std::isfinite(sampleRate)) return -1;
    const double fm = params->modFrequency;
    if (!(fm > 0) || !std::isfinite(fm)) return -1;
    // Any finite deviation is fine; a non-finite one would only yield NaN phases.
    const double deviation = params->freqDeviation;
    if (!std::isfinite(deviation)) return -1;
    const int shape = params->modShape;

    const double k = wholePeriodCount(sampleRate / fm);
    const double length = std::floor(((1 / fm) * k) / (1 / sampleRate));
    // Refuse lengths that are not finite or too long to hand out.
    if (!countFits(length)) return -1;
    const int n = static_cast<int>(length);

    // A modulating frequency far above the sample rate leaves no sample at
    // all: that is a valid, empty result and needs no arrays.
    std::complex<float>* out = nullptr;
    double* w = nullptr;
    if (n > 0) {
        out = static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * static_cast<size_t>(n)));
        w = static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(n)));
        if (!out || !w) {
            std::free(out);
            std::free(w);
            return -1;
        }
    }

    if (!modulatingWave(shape, fm, sampleRate, n, w)) {
        std::free(out);
        std::free(w);
        return -1;
    }
    // Map the wave onto -1 ... 1 (the sine already is).
    switch (shape) {
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
    const double c = (kTwoPi / sampleRate) * deviation;
    double phi = 0;
    for (int i = 0; i < n; ++i) {
        phi = std::fma(w[i], c, phi);
        out[i] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }
    std::free(w);

    *samples = out;
    *sampleCount = n;
    return 0;
}
