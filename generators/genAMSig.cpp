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

    const double q = sampleRate / fm;  // samples per modulation period
    const double v = wholePeriodCount(q) * q;
    // Refuse lengths that are not finite or too long to hand out.
    if (!countFits(v)) return -1;
    const int n = static_cast<int>(v);
    if (n == 0) return -1;

    auto* x = static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(n)));
    if (!x) return -1;

    if (!modulatingWave(shape, fm, sampleRate, n, x)) {
        std::free(x);
        return -1;
    }
    // Lift the wave so that it reads 1 + m*s(t) once scaled.
    const double d = shape == 1 ? 1 / m : 0.5 / m - 0.5;
    for (int i = 0; i < n; ++i) x[i] += d;

    *samples = x;
    *sampleCount = n;
    return 0;
}
