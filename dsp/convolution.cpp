// Fully overlapped FIR filtering with the taps in stored order (no reversal),
// parallel over output samples.
//
// The complex filter accumulates x*h in double with fused multiply-adds. The
// product of two floats is exact in double (24 + 24 significant bits, and the
// exponent range of float products lies well inside double's), so a separate
// multiply and add rounds exactly as the fused form does. The kernels below
// rely on that to vectorise: each output keeps its own accumulator, summed
// over the taps in order, and a block of outputs shares each tap load.
#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "cpuDispatch.h"
#include "genSignalClass.h"

namespace {

constexpr int kBlock = 8;  // outputs per kernel call

// Output length N - M + 1, or 0 when the window never fits. A tap count
// below 1 gives an empty output: the caller's array is only guaranteed room
// for N - M + 1 samples, which would be more than it was given.
int64_t fullOverlapLength(int n, int m) {
    if (m < 1) return 0;
    const int64_t len = static_cast<int64_t>(n) - m + 1;
    return len > 0 ? len : 0;
}

// `count` (1 ... kBlock) complex outputs starting at x (interleaved re, im).
void complexBlockGeneric(const float* x, const float* h, int m, int count, float* y) {
    double acc[2 * kBlock] = {};
    if (count == kBlock) {  // a constant trip count the compiler vectorises
        for (int k = 0; k < m; ++k) {
            const double hk = h[k];
            const float* xk = x + 2 * k;
            for (int e = 0; e < 2 * kBlock; ++e) acc[e] += static_cast<double>(xk[e]) * hk;
        }
    } else {
        for (int k = 0; k < m; ++k) {
            const double hk = h[k];
            const float* xk = x + 2 * k;
            for (int e = 0; e < 2 * count; ++e) acc[e] += static_cast<double>(xk[e]) * hk;
        }
    }
    for (int e = 0; e < 2 * count; ++e) y[e] = static_cast<float>(acc[e]);
}

// `count` (1 ... kBlock) real outputs starting at x; products in single
// precision, sums in double.
void realBlockGeneric(const float* x, const float* h, int m, int count, float* y) {
    double acc[kBlock] = {};
    if (count == kBlock) {
        for (int k = 0; k < m; ++k) {
            const float hk = h[k];
            const float* xk = x + k;
            for (int e = 0; e < kBlock; ++e) acc[e] += static_cast<double>(hk * xk[e]);
        }
    } else {
        for (int k = 0; k < m; ++k) {
            const float hk = h[k];
            const float* xk = x + k;
            for (int e = 0; e < count; ++e) acc[e] += static_cast<double>(hk * xk[e]);
        }
    }
    for (int e = 0; e < count; ++e) y[e] = static_cast<float>(acc[e]);
}

#define GS_AVX2 __attribute__((target("avx2,fma")))

GS_AVX2 void complexBlockAvx2(const float* x, const float* h, int m, int count, float* y) {
    if (count < kBlock) {
        complexBlockGeneric(x, h, m, count, y);
        return;
    }
    __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
    for (int k = 0; k < m; ++k, x += 2) {
        const __m256d hk = _mm256_set1_pd(h[k]);
        a0 = _mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(x)), hk, a0);
        a1 = _mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(x + 4)), hk, a1);
        a2 = _mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(x + 8)), hk, a2);
        a3 = _mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(x + 12)), hk, a3);
    }
    _mm_storeu_ps(y, _mm256_cvtpd_ps(a0));
    _mm_storeu_ps(y + 4, _mm256_cvtpd_ps(a1));
    _mm_storeu_ps(y + 8, _mm256_cvtpd_ps(a2));
    _mm_storeu_ps(y + 12, _mm256_cvtpd_ps(a3));
}

GS_AVX2 void realBlockAvx2(const float* x, const float* h, int m, int count, float* y) {
    if (count < kBlock) {
        realBlockGeneric(x, h, m, count, y);
        return;
    }
    __m256d a0 = _mm256_setzero_pd(), a1 = a0;
    for (int k = 0; k < m; ++k) {
        const __m256 prod = _mm256_mul_ps(_mm256_set1_ps(h[k]), _mm256_loadu_ps(x + k));
        a0 = _mm256_add_pd(a0, _mm256_cvtps_pd(_mm256_castps256_ps128(prod)));
        a1 = _mm256_add_pd(a1, _mm256_cvtps_pd(_mm256_extractf128_ps(prod, 1)));
    }
    _mm_storeu_ps(y, _mm256_cvtpd_ps(a0));
    _mm_storeu_ps(y + 4, _mm256_cvtpd_ps(a1));
}

#undef GS_AVX2

}  // namespace

void GenSignalClass::conv2_complex(std::complex<float> const* in, int n, float const* taps, int m,
                                   std::complex<float>* out, int* outLen) {
    const int64_t len = fullOverlapLength(n, m);
    *outLen = static_cast<int>(len);
    if (len == 0) return;
    const float* x = reinterpret_cast<const float*>(in);
    float* y = reinterpret_cast<float*>(out);
    const auto block = useAvx2() ? complexBlockAvx2 : complexBlockGeneric;
    const int64_t blocks = (len + kBlock - 1) / kBlock;
#pragma omp parallel for schedule(static)
    for (int64_t b = 0; b < blocks; ++b) {
        const int64_t i = b * kBlock;
        const int count = static_cast<int>(len - i < kBlock ? len - i : kBlock);
        block(x + 2 * i, taps, m, count, y + 2 * i);
    }
}

void GenSignalClass::conv2_real(float const* in, int n, float const* taps, int m, float** out, int* outLen) {
    const int64_t len = fullOverlapLength(n, m);
    if (len == 0) {
        *outLen = 0;
        return;
    }
    float* y = static_cast<float*>(std::malloc(sizeof(float) * static_cast<size_t>(len)));
    if (y == nullptr) {
        *outLen = 0;
        return;
    }
    const auto block = useAvx2() ? realBlockAvx2 : realBlockGeneric;
    const int64_t blocks = (len + kBlock - 1) / kBlock;
#pragma omp parallel for schedule(static)
    for (int64_t b = 0; b < blocks; ++b) {
        const int64_t i = b * kBlock;
        const int count = static_cast<int>(len - i < kBlock ? len - i : kBlock);
        block(in + i, taps, m, count, y + i);
    }
    *outLen = static_cast<int>(len);
    *out = y;
}
