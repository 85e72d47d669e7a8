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

    // Length: the first of 1, 10, 100, 1000 periods that spans whole samples.
    const double q = sampleRate / fm;
    double k = 10000;
    for (double candidate : {1.0, 10.0, 100.0, 1000.0}) {
        const double kq = candidate * q;
        if (std::fabs(kq - std::round(kq)) < 1e-12) {
            k = candidate;
            break;
        }
    }
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

    const double dt = 1 / sampleRate;
    const double T = 1 / fm;
    const double half = T * 0.5;
    switch (shape) {
        case 1: {
            const double rad = fm * 6.283185307179586;
            for (int i = 0; i < n; ++i) w[i] = std::sin(i * dt * rad);
            break;
        }
        case 2: {
            int s = 1;
            double level = 1.0;
            for (int i = 0; i < n; ++i) {
                if (!(s * half > i * dt)) {
                    ++s;
                    level = (s % 2 == 1) ? 1.0 : -1.0;
                }
                w[i] = level;
            }
            break;
        }
        case 3: {
            int s = 1;
            const double a = 2 / T;
            for (int i = 0; i < n; ++i) {
                const double t = i * dt;
                if (!(s * half > t)) ++s;
                const double u = t - (s - 1) * half;
                const double x = (s % 2 == 1) ? a * u : 1 - a * u;
                w[i] = (x - 0.5) + (x - 0.5);
            }
            break;
        }
        case 4: {
            int s = 1;
            const double invT = 1 / T;
            for (int i = 0; i < n; ++i) {
                const double t = i * dt;
                if (!(s * T > t)) ++s;
                const double x = (t - (s - 1) * T) * invT * 2;
                w[i] = x - 1;
            }
            break;
        }
        default:
            std::free(out);
            std::free(w);
            return -1;
    }

    // The phase advances before each sample is formed, so sample 0 already
    // carries the increment of w[0].
    const double c = (6.283185307179586 / sampleRate) * deviation;
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
