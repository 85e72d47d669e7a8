// The periodic modulating waves shared by the AM and FM generators.
#include <cmath>

#include "function.h"

double wholePeriodCount(double samplesPerPeriod) {
    for (double k : {1.0, 10.0, 100.0, 1000.0}) {
        const double v = k * samplesPerPeriod;
        if (std::fabs(v - std::round(v)) < 1e-12) return k;
    }
    return 10000.0;
}

bool modulatingWave(int shape, double modFrequency, double sampleRate, int n, double* x) {
    const double dt = 1 / sampleRate;
    const double T = 1 / modFrequency;
    const double half = T * 0.5;
    // Each segment counter advances by at most one per sample.
    switch (shape) {
        case 1: {
            const double w = kTwoPi * modFrequency;
            for (int i = 0; i < n; ++i) x[i] = std::sin(i * dt * w);
            return true;
        }
        case 2: {
            int s = 1;
            double level = 1.0;
            for (int i = 0; i < n; ++i) {
                if (!(s * half > i * dt)) {
                    ++s;
                    level = (s % 2 == 1) ? 1.0 : 0.0;
                }
                x[i] = level;
            }
            return true;
        }
        case 3: {
            int s = 1;
            const double a = 2 / T;
            for (int i = 0; i < n; ++i) {
                const double t = i * dt;
                if (!(s * half > t)) ++s;
                const double u = t - (s - 1) * half;
                x[i] = (s % 2 == 1) ? a * u : 1 - a * u;
            }
            return true;
        }
        case 4: {
            int s = 1;
            const double invT = 1 / T;
            for (int i = 0; i < n; ++i) {
                const double t = i * dt;
                if (!(s * T > t)) ++s;
                x[i] = (t - (s - 1) * T) * invT;
            }
            return true;
        }
        default:
            return false;
    }
}
