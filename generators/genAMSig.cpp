// AM envelope: 1 + m*s(t) for a sine, square, triangle or sawtooth s, over a
// whole number of modulation periods whenever one fits whole samples.
#include <cmath>
#include <cstdlib>

#include "function.h"
#include "genSignalClass.h"

int GenSignalClass::genAMSig(AMModParams const* params, double sampleRate, double** samples, int* sampleCount) {
    if (!params || !samples || !sampleCount || !(sampleRate > 0)) return -1;
    const double fm = params->modFrequency;
    if (!(fm > 0)) return -1;
    const double m = params->modDepth / 100;
    if (!(m > 0)) return -1;
    const int shape = params->modShape;

    // Length: the first of 1, 10, 100, 1000 periods that spans whole samples.
    const double q = sampleRate / fm;
    double v = 10000 * q;
    for (double k : {1.0, 10.0, 100.0, 1000.0}) {
        const double kq = k * q;
        if (std::fabs(kq - std::round(kq)) < 1e-12) {
            v = kq;
            break;
        }
    }
    // Refuse lengths that are not finite or too long to hand out.
    if (!countFits(v)) return -1;
    const int n = static_cast<int>(v);
    if (n == 0) return -1;

    auto* x = static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(n)));
    if (!x) return -1;

    const double dt = 1 / sampleRate;
    const double T = 1 / fm;
    const double half = T * 0.5;
    double d;
    switch (shape) {
        case 1: {
            const double w = 6.283185307179586 * fm;
            for (int i = 0; i < n; ++i) x[i] = std::sin(i * dt * w);
            d = 1 / m;
            break;
        }
        case 2: {
            int s = 1;
            double level = 1.0;
            for (int i = 0; i < n; ++i) {
                const double t = i * dt;
                if (!(s * half > t)) {
                    ++s;
                    level = (s % 2 == 1) ? 1.0 : 0.0;
                }
                x[i] = level;
            }
            d = 0.5 / m - 0.5;
            break;
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
            d = 0.5 / m - 0.5;
            break;
        }
        case 4: {
            int s = 1;
            const double invT = 1 / T;
            for (int i = 0; i < n; ++i) {
                const double t = i * dt;
                if (!(s * T > t)) ++s;
                x[i] = (t - (s - 1) * T) * invT;
            }
            d = 0.5 / m - 0.5;
            break;
        }
        default:
            std::free(x);
            return -1;
    }
    for (int i = 0; i < n; ++i) x[i] += d;

    *samples = x;
    *sampleCount = n;
    return 0;
}
