#include "noiseFilter.h"

#include "cpuDispatch.h"

#if GENSIGNAL_AVX2
#include <immintrin.h>
#endif

namespace noise {

namespace {

constexpr int kInFlight = 16;  // outputs per pass over the taps

// One output, as the convolution forms it.
inline std::complex<float> one(const double* x, const double* h) {
    double re = 0.0, im = 0.0;
    for (int k = 0; k < kTaps; ++k) {
        re += x[2 * k] * h[k];
        im += x[2 * k + 1] * h[k];
    }
    return {static_cast<float>(re), static_cast<float>(im)};
}

}  // namespace

namespace generic {

void filterWindow(const double* x, const double* h, int count, std::complex<float>* y) {
    int j = 0;
    for (; j + kInFlight <= count; j += kInFlight) {
        double acc[2 * kInFlight] = {};
        for (int k = 0; k < kTaps; ++k) {
            const double hk = h[k];
            const double* xk = x + 2 * (j + k);
            for (int e = 0; e < 2 * kInFlight; ++e) acc[e] += xk[e] * hk;
        }
        for (int e = 0; e < kInFlight; ++e)
            y[j + e] = {static_cast<float>(acc[2 * e]), static_cast<float>(acc[2 * e + 1])};
    }
    for (; j < count; ++j) y[j] = one(x + 2 * j, h);
}

}  // namespace generic

#if GENSIGNAL_AVX2
namespace avx2 {

GENSIGNAL_AVX2_TARGET void filterWindow(const double* x, const double* h, int count, std::complex<float>* y) {
    int j = 0;
    float* out = reinterpret_cast<float*>(y);
    for (; j + kInFlight <= count; j += kInFlight) {
        __m256d a[8];
        for (int m = 0; m < 8; ++m) a[m] = _mm256_setzero_pd();
        const double* xj = x + 2 * j;
        for (int k = 0; k < kTaps; ++k) {
            const __m256d hk = _mm256_broadcast_sd(h + k);
            const double* xk = xj + 2 * k;
            for (int m = 0; m < 8; ++m) a[m] = _mm256_fmadd_pd(_mm256_loadu_pd(xk + 4 * m), hk, a[m]);
        }
        for (int m = 0; m < 8; ++m) _mm_storeu_ps(out + 2 * j + 4 * m, _mm256_cvtpd_ps(a[m]));
    }
    for (; j < count; ++j) y[j] = one(x + 2 * j, h);
}

}  // namespace avx2
#endif

void filterWindow(const double* x, const double* h, int count, std::complex<float>* y) {
#if GENSIGNAL_AVX2
    if (useAvx2()) return avx2::filterWindow(x, h, count, y);
#endif
    generic::filterWindow(x, h, count, y);
}

}  // namespace noise
