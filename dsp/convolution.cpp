// Fully overlapped FIR filtering with the taps in stored order (no reversal),
// parallel over output samples.
//
// The complex filter accumulates x*h in double with fused multiply-adds. The
// product of two floats is exact in double (24 + 24 significant bits, and the
// exponent range of float products lies well inside double's), so a separate
// multiply and add rounds exactly as the fused form does. The kernels below
// rely on that to vectorise: each output keeps its own accumulator, summed
// over the taps in order, and a block of outputs shares each tap load.
#include <cstdint>
#include <cstdlib>

#include "genSignalClass.h"

namespace {

constexpr int kBlock = 4;  // outputs per kernel call

// Output length N - M + 1, or 0 when the window never fits. A tap count
// below 1 gives an empty output: the caller's array is only guaranteed room
// for N - M + 1 samples, which would be more than it was given.
int64_t fullOverlapLength(int n, int m) {
    if (m < 1) return 0;
    const int64_t len = static_cast<int64_t>(n) - m + 1;
    return len > 0 ? len : 0;
}

// `count` (1 ... kBlock) complex outputs starting at x (interleaved re, im).
__attribute__((target_clones("avx2", "default"))) void complexBlock(const float* x, const float* h, int m,
                                                                     int count, float* y) {
    double acc[2 * kBlock] = {};
    if (count == kBlock) {
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
__attribute__((target_clones("avx2", "default"))) void realBlock(const float* x, const float* h, int m, int count,
                                                                  float* y) {
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

}  // namespace

void GenSignalClass::conv2_complex(std::complex<float> const* in, int n, float const* taps, int m,
                                   std::complex<float>* out, int* outLen) {
    const int64_t len = fullOverlapLength(n, m);
    *outLen = static_cast<int>(len);
    if (len == 0) return;
    const float* x = reinterpret_cast<const float*>(in);
    float* y = reinterpret_cast<float*>(out);
    const int64_t blocks = (len + kBlock - 1) / kBlock;
#pragma omp parallel for schedule(static)
    for (int64_t b = 0; b < blocks; ++b) {
        const int64_t i = b * kBlock;
        const int count = static_cast<int>(len - i < kBlock ? len - i : kBlock);
        complexBlock(x + 2 * i, taps, m, count, y + 2 * i);
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
    const int64_t blocks = (len + kBlock - 1) / kBlock;
#pragma omp parallel for schedule(static)
    for (int64_t b = 0; b < blocks; ++b) {
        const int64_t i = b * kBlock;
        const int count = static_cast<int>(len - i < kBlock ? len - i : kBlock);
        realBlock(in + i, taps, m, count, y + i);
    }
    *outLen = static_cast<int>(len);
    *out = y;
}
