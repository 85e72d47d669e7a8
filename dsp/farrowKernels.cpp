// The Farrow loop body for a range of outputs. The AVX2 version computes
// the weights of four outputs per register, each lane with the scalar
// code's operations in the scalar code's order, and mixes the taps of two
// complex (or four real) outputs per register in the scalar order too:
// c1 p1 first, then fused multiply-adds of c2 p2, c0 p0, c-1 p-1.
#include "farrowKernels.h"

#include <cmath>

#include "cpuDispatch.h"

#if GENSIGNAL_AVX2
#include <immintrin.h>
#endif

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

inline double mix(const Weights& w, double pm1, double p0, double p1, double p2) {
    double y = w.c1 * p1;
    y = std::fma(w.c2, p2, y);
    y = std::fma(w.c0, p0, y);
    return std::fma(w.cm1, pm1, y);
}

// Input sample i through the window, zero outside 0 ... n-1.
template <class T>
inline T tap(const T* window, int64_t windowFirst, int n, int64_t i) {
    return (i >= 0 && i < n) ? window[i - windowFirst] : T(0.0f);
}

inline void outputAt(const std::complex<float>* w, int64_t w0, int n, double r, int64_t k, std::complex<float>* y) {
    const double t = static_cast<double>(k) * r;
    const int64_t b = static_cast<int64_t>(std::floor(t));
    const Weights c = weightsAt((t - static_cast<double>(b + 1)) + 1);
    const std::complex<float> pm1 = tap(w, w0, n, b - 1), p0 = tap(w, w0, n, b), p1 = tap(w, w0, n, b + 1),
                              p2 = tap(w, w0, n, b + 2);
    *y = {static_cast<float>(mix(c, pm1.real(), p0.real(), p1.real(), p2.real())),
          static_cast<float>(mix(c, pm1.imag(), p0.imag(), p1.imag(), p2.imag()))};
}

inline void outputAt(const float* w, int64_t w0, int n, double r, int64_t k, float* y) {
    const double t = static_cast<double>(k) * r;
    const int64_t b = static_cast<int64_t>(std::floor(t));
    const Weights c = weightsAt((t - static_cast<double>(b + 1)) + 1);
    *y = static_cast<float>(mix(c, tap(w, w0, n, b - 1), tap(w, w0, n, b), tap(w, w0, n, b + 1), tap(w, w0, n, b + 2)));
}

template <class T>
void rangeGeneric(const T* w, int64_t w0, int n, double r, int64_t first, int64_t last, T* out) {
    for (int64_t k = first; k < last; ++k) outputAt(w, w0, n, r, k, out + (k - first));
}

#if GENSIGNAL_AVX2

#define GS_AVX2 GENSIGNAL_AVX2_TARGET

struct Weights4 {
    __m256d cm1, c0, c1, c2;
    __m128i base;   // b of each lane
    bool interior;  // every lane has all four taps inside the input
};

// Outputs k ... k+3: positions, bases and weights, lane by lane as in
// weightsAt. k + 3 is exact in double, and floor(t) + 1 is the integer
// b + 1 the scalar code converts.
GS_AVX2 inline Weights4 weights4(int64_t k, double r, int n) {
    const __m256d kd = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(k)), _mm256_setr_pd(0, 1, 2, 3));
    const __m256d t = _mm256_mul_pd(kd, _mm256_set1_pd(r));
    const __m256d fl = _mm256_floor_pd(t);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d mu = _mm256_add_pd(_mm256_sub_pd(t, _mm256_add_pd(fl, one)), one);
    const __m256d mu2 = _mm256_mul_pd(mu, mu);
    const __m256d mu3 = _mm256_mul_pd(mu2, mu);
    const __m256d half = _mm256_set1_pd(0.5);
    Weights4 w;
    w.cm1 = _mm256_sub_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(-1.0 / 6), mu3), _mm256_mul_pd(half, mu2)),
                          _mm256_mul_pd(_mm256_set1_pd(1.0 / 3), mu));
    w.c0 = _mm256_add_pd(_mm256_sub_pd(_mm256_sub_pd(_mm256_mul_pd(half, mu3), mu2), _mm256_mul_pd(half, mu)), one);
    w.c1 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(-0.5), mu3), _mm256_mul_pd(half, mu2)), mu);
    w.c2 = _mm256_sub_pd(_mm256_mul_pd(_mm256_set1_pd(1.0 / 6), mu3), _mm256_mul_pd(_mm256_set1_pd(1.0 / 6), mu));
    w.base = _mm256_cvttpd_epi32(fl);
    // Bases never decrease with k: the first and last lanes bound the rest.
    const int b0 = _mm_cvtsi128_si32(w.base), b3 = _mm_extract_epi32(w.base, 3);
    w.interior = b0 >= 1 && b3 + 2 < n;
    return w;
}

GS_AVX2 inline __m256d mix4(__m256d c1, __m256d p1, __m256d c2, __m256d p2, __m256d c0, __m256d p0, __m256d cm1,
                            __m256d pm1) {
    __m256d y = _mm256_mul_pd(c1, p1);
    y = _mm256_fmadd_pd(c2, p2, y);
    y = _mm256_fmadd_pd(c0, p0, y);
    return _mm256_fmadd_pd(cm1, pm1, y);
}

// Four complex outputs whose taps all lie inside the input, b[l] the base
// of lane l.
GS_AVX2 inline void fourOutputs(const std::complex<float>* w, int64_t w0, const Weights4& c, const int* b,
                                std::complex<float>* out) {
    const float* x = reinterpret_cast<const float*>(w);
    float* y = reinterpret_cast<float*>(out);
    // Taps b-1 ... b+2 of one output as doubles: re, im of p-1 and p0
    // in `lo`, of p1 and p2 in `hi`.
    __m256d lo[4], hi[4];
    for (int l = 0; l < 4; ++l) {
        const __m256 v = _mm256_loadu_ps(x + 2 * (b[l] - 1 - w0));
        lo[l] = _mm256_cvtps_pd(_mm256_castps256_ps128(v));
        hi[l] = _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1));
    }
    // Two outputs per register: the weights of lanes 0 and 1, then of
    // lanes 2 and 3, each repeated for re and im.
    const __m256d c1[2] = {_mm256_permute4x64_pd(c.c1, 0x50), _mm256_permute4x64_pd(c.c1, 0xFA)};
    const __m256d c2[2] = {_mm256_permute4x64_pd(c.c2, 0x50), _mm256_permute4x64_pd(c.c2, 0xFA)};
    const __m256d c0[2] = {_mm256_permute4x64_pd(c.c0, 0x50), _mm256_permute4x64_pd(c.c0, 0xFA)};
    const __m256d cm1[2] = {_mm256_permute4x64_pd(c.cm1, 0x50), _mm256_permute4x64_pd(c.cm1, 0xFA)};
    for (int pair = 0; pair < 2; ++pair) {
        const int a = 2 * pair, e = a + 1;
        const __m256d p1 = _mm256_permute2f128_pd(hi[a], hi[e], 0x20);
        const __m256d p2 = _mm256_permute2f128_pd(hi[a], hi[e], 0x31);
        const __m256d p0 = _mm256_permute2f128_pd(lo[a], lo[e], 0x31);
        const __m256d pm1 = _mm256_permute2f128_pd(lo[a], lo[e], 0x20);
        const __m256d v = mix4(c1[pair], p1, c2[pair], p2, c0[pair], p0, cm1[pair], pm1);
        _mm_storeu_ps(y + 2 * a, _mm256_cvtpd_ps(v));
    }
}

// Four real outputs whose taps all lie inside the input.
GS_AVX2 inline void fourOutputs(const float* w, int64_t w0, const Weights4& c, const int* b, float* out) {
    // Rows: taps b-1 ... b+2 of each output; transposed into one
    // register per tap, four outputs across.
    const __m256d ra = _mm256_cvtps_pd(_mm_loadu_ps(w + (b[0] - 1 - w0)));
    const __m256d rb = _mm256_cvtps_pd(_mm_loadu_ps(w + (b[1] - 1 - w0)));
    const __m256d rc = _mm256_cvtps_pd(_mm_loadu_ps(w + (b[2] - 1 - w0)));
    const __m256d rd = _mm256_cvtps_pd(_mm_loadu_ps(w + (b[3] - 1 - w0)));
    const __m256d t0 = _mm256_unpacklo_pd(ra, rb), t1 = _mm256_unpackhi_pd(ra, rb);
    const __m256d t2 = _mm256_unpacklo_pd(rc, rd), t3 = _mm256_unpackhi_pd(rc, rd);
    const __m256d pm1 = _mm256_permute2f128_pd(t0, t2, 0x20), p0 = _mm256_permute2f128_pd(t1, t3, 0x20);
    const __m256d p1 = _mm256_permute2f128_pd(t0, t2, 0x31), p2 = _mm256_permute2f128_pd(t1, t3, 0x31);
    _mm_storeu_ps(out, _mm256_cvtpd_ps(mix4(c.c1, p1, c.c2, p2, c.c0, p0, c.cm1, pm1)));
}

// Four outputs at a time where all their taps are inside the input, the
// scalar code elsewhere.
template <class T>
GS_AVX2 void rangeAvx2(const T* w, int64_t w0, int n, double r, int64_t first, int64_t last, T* out) {
    int64_t k = first;
    for (; k + 4 <= last; k += 4) {
        const Weights4 c = weights4(k, r, n);
        if (!c.interior) {
            for (int l = 0; l < 4; ++l) outputAt(w, w0, n, r, k + l, out + (k + l - first));
            continue;
        }
        alignas(16) int b[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(b), c.base);
        fourOutputs(w, w0, c, b, out + (k - first));
    }
    for (; k < last; ++k) outputAt(w, w0, n, r, k, out + (k - first));
}

#undef GS_AVX2

#endif  // GENSIGNAL_AVX2

}  // namespace

InputSpan farrowInputSpan(int n, double r, int64_t first, int64_t last) {
    if (first >= last) return {0, 0};
    const int64_t lo = static_cast<int64_t>(std::floor(static_cast<double>(first) * r)) - 1;
    const int64_t hi = static_cast<int64_t>(std::floor(static_cast<double>(last - 1) * r)) + 3;
    return {lo < 0 ? 0 : lo, hi > n ? n : hi};
}

int64_t farrowSpanBound(double r, int64_t outputs) {
    if (outputs < 1) return 0;
    // floor((last - 1) r) - floor(first r) stays below (outputs - 1) r + 1,
    // and the four taps add three more; the rest is margin for rounding.
    return static_cast<int64_t>(std::floor(static_cast<double>(outputs - 1) * r)) + 8;
}

void farrowRange(const std::complex<float>* window, int64_t windowFirst, int n, double r, int64_t first, int64_t last,
                 std::complex<float>* out) {
#if GENSIGNAL_AVX2
    if (useAvx2()) return rangeAvx2(window, windowFirst, n, r, first, last, out);
#endif
    rangeGeneric(window, windowFirst, n, r, first, last, out);
}

void farrowRange(const float* window, int64_t windowFirst, int n, double r, int64_t first, int64_t last, float* out) {
#if GENSIGNAL_AVX2
    if (useAvx2()) return rangeAvx2(window, windowFirst, n, r, first, last, out);
#endif
    rangeGeneric(window, windowFirst, n, r, first, last, out);
}
