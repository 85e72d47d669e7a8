// Cubic Lagrange interpolation in Farrow form: output sample k sits at input
// position k * r, r = inRate / outRate, and mixes the four input samples
// around it; taps beyond either end of the input count as zero.
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>

#include "function.h"
#include "genSignalClass.h"

namespace {

struct Weights {
    double cm1, c0, c1, c2;
};

// Lagrange basis for the nodes -1, 0, 1, 2, each polynomial evaluated in
// a fixed order so results are reproducible to the bit.
inline Weights weightsAt(double mu) {
    const double mu2 = mu * mu;
    const double mu3 = mu2 * mu;
    Weights w;
    w.cm1 = ((-1.0 / 6) * mu3 + 0.5 * mu2) - (1.0 / 3) * mu;
    w.c0 = ((0.5 * mu3 - mu2) - 0.5 * mu) + 1;
    w.c1 = ((-0.5) * mu3 + 0.5 * mu2) + mu;
    w.c2 = (1.0 / 6) * mu3 - (1.0 / 6) * mu;
    return w;
}

inline float mix(const Weights& w, double pm1, double p0, double p1, double p2) {
    double y = w.c1 * p1;
    y = std::fma(w.c2, p2, y);
    y = std::fma(w.c0, p0, y);
    y = std::fma(w.cm1, pm1, y);
    return static_cast<float>(y);
}

// Tap i of the input, zero outside 0 ... n-1.
inline float tap(const float* x, int n, int64_t i) { return (i >= 0 && i < n) ? x[i] : 0.0f; }
inline std::complex<float> tap(const std::complex<float>* x, int n, int64_t i) {
    return (i >= 0 && i < n) ? x[i] : std::complex<float>(0.0f, 0.0f);
}

inline float interpolate(const Weights& w, float pm1, float p0, float p1, float p2) {
    return mix(w, pm1, p0, p1, p2);
}
inline std::complex<float> interpolate(const Weights& w, std::complex<float> pm1, std::complex<float> p0,
                                       std::complex<float> p1, std::complex<float> p2) {
    return {mix(w, pm1.real(), p0.real(), p1.real(), p2.real()),
            mix(w, pm1.imag(), p0.imag(), p1.imag(), p2.imag())};
}

// The loop shared by both routines; n >= 1 and y holds every sample written.
// Returns the number of samples written.
template <class T>
int resample(const T* x, int n, double r, T* y) {
    y[0] = x[0];
    int k = 1;
    for (;; ++k) {
        const double t = static_cast<double>(k) * r;
        // floor(t) >= n exactly when t >= n; testing in double first keeps
        // the conversion below in range for any ratio.
        if (t >= n) break;
        const int b = static_cast<int>(std::floor(t));
        const double mu = (t - (b + 1)) + 1;
        const Weights w = weightsAt(mu);
        if (b >= 1 && b + 2 < n) {
            y[k] = interpolate(w, x[b - 1], x[b], x[b + 1], x[b + 2]);
        } else {
            y[k] = interpolate(w, tap(x, n, int64_t{b} - 1), tap(x, n, b), tap(x, n, int64_t{b} + 1),
                               tap(x, n, int64_t{b} + 2));
        }
    }
    return k;
}

}  // namespace

int farrowOutputLength(int n, double outRate, double inRate) {
    if (!finitePositive(outRate) || !finitePositive(inRate) || n < 0) return -1;
    if (n == 0) return 0;
    const double r = inRate / outRate;
    if (!(r > 0)) return -1;  // underflow: no output instant would ever pass the end
    // fl(k * r) never decreases as k grows, so the samples with
    // fl(k * r) >= n form a tail; n / r lands within a step or two of where
    // it starts, and the two walks below only cover that distance.
    const double estimate = std::ceil(n / r);
    if (!(estimate < 2.0 * kMaxSamples)) return -1;
    int64_t k = estimate < 1 ? 1 : static_cast<int64_t>(estimate);
    while (k > 1 && static_cast<double>(k - 1) * r >= n) --k;
    while (static_cast<double>(k) * r < n) ++k;
    return k < kMaxSamples ? static_cast<int>(k) : -1;
}

void GenSignalClass::FarrowInterp(std::complex<float> const* in, int n, double outRate, double inRate,
                                  std::complex<float>* out, int* outLen) {
    if (!outLen) return;
    // Rates that would run the loop forever or past any array are refused
    // with length 0, as is missing input or output.
    const int K = farrowOutputLength(n, outRate, inRate);
    if (K <= 0 || !in || !out) {
        *outLen = 0;
        return;
    }
    *outLen = resample(in, n, inRate / outRate, out);
}

void GenSignalClass::FarrowInterp_real(float* in, int n, double outRate, double inRate, float** out, int* outLen) {
    if (!outLen) return;
    const int K = farrowOutputLength(n, outRate, inRate);
    if (K <= 0 || !in || !out) {
        *outLen = 0;
        return;
    }
    auto* y = static_cast<float*>(std::malloc(sizeof(float) * static_cast<size_t>(K)));
    if (!y) {
        *outLen = 0;
        return;
    }
    *outLen = resample(static_cast<const float*>(in), n, inRate / outRate, y);
    *out = y;
}
