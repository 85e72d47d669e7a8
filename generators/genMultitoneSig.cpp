// N equal-amplitude tones placed symmetrically about 0 Hz, one common period
// built at an internal rate that makes the period whole samples, then
// resampled to the requested rate when the two differ.
#include <cmath>
#include <complex>
#include <cstdlib>

#include "function.h"
#include "genSignalClass.h"

int GenSignalClass::genMultitoneSig(MultitoneParams const* params, double sampleRate, std::complex<float>** samples,
                                    int* sampleCount) {
    if (!params || !samples || !sampleCount || !(sampleRate > 0) || !std::isfinite(sampleRate)) return -1;
    const int N = params->toneCount;
    if (N < 2) return -1;
    const double df = params->toneSpacing;
    if (!(df > 0) || !std::isfinite(df)) return -1;

    auto* f = static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(N)));
    if (!f) return -1;
    double fb;
    if (N % 2 == 0) {
        const int h = N / 2;
        for (int k = 0; k < h; ++k) f[k] = std::fma(static_cast<double>(k), df, df * 0.5);
        for (int k = 0; k < h; ++k) f[h + k] = -f[k];
        fb = f[0];
    } else {
        const int h = (N - 1) / 2;
        for (int k = 0; k <= h; ++k) f[k] = k * df;
        for (int k = 1; k <= h; ++k) f[h + k] = -f[k];
        fb = f[1];
    }
    const double fmax = -f[N - 1];

    // Samples per period of the highest tone, then one period of the base
    // tone at the internal rate; both must fit before they become ints.
    const double kSamples = std::floor(sampleRate / fmax);
    if (!countFits(kSamples) || kSamples < 1) {
        std::free(f);
        return -1;
    }
    const int K = static_cast<int>(kSamples);
    const double rInt = K * fmax;
    const double lSamples = std::floor((1 / fb) * rInt);
    if (!countFits(lSamples) || lSamples < 1) {
        std::free(f);
        return -1;
    }
    const int L = static_cast<int>(lSamples);

    // Size the resampler's output before the pattern costs anything:
    // ceil(L * rate / r') + 4, but never less than the resampler writes.
    const bool resample = !(std::fabs(sampleRate - rInt) <= 1e-12);
    int M = 0;
    if (resample) {
        const double quotient = std::ceil(L * sampleRate / rInt);
        const int written = farrowOutputLength(L, sampleRate, rInt);
        if (!countFits(quotient) || written < 0) {
            std::free(f);
            return -1;
        }
        const int padded = static_cast<int>(quotient) + 4;
        M = written > padded ? written : padded;
    }

    auto* x = static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * static_cast<size_t>(L)));
    if (!x) {
        std::free(f);
        return -1;
    }
    const double dt = 1 / rInt;
    for (int i = 0; i < L; ++i) {
        const double t = i * dt;
        double re = 0, im = 0;
        for (int k = 0; k < N; ++k) {
            const double arg = (f[k] * kTwoPi) * t;
            re += std::cos(arg);
            im += std::sin(arg);
        }
        x[i] = {static_cast<float>(re), static_cast<float>(im)};
    }
    std::free(f);

    if (!resample) {
        *samples = x;
        *sampleCount = L;
        return 0;
    }

    auto* y = static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * static_cast<size_t>(M)));
    if (!y) {
        std::free(x);
        return -1;
    }
    int n = 0;
    FarrowInterp(x, L, sampleRate, rInt, y, &n);
    std::free(x);
    if (n <= 0) {
        std::free(y);
        return -1;
    }
    *samples = y;
    *sampleCount = n;
    return 0;
}
