// The outputs of one residue class i % sps share their tap phase: with
// p = (sps - i % sps) % sps they use taps p, p + sps, p + 2 sps, ... on
// consecutive points starting at point (i + p) / sps, and the next output
// of the class (i + sps) starts one point later. So each class is a plain
// FIR over the points with the sub-filter h[p + q sps]; outputs of a class
// sit side by side in a register, each lane with its own accumulator
// running over q in ascending order.
//
// A float times a float is exact in double (24 + 24 significant bits, and
// their exponents stay well inside double's range), so a separate
// multiply and add rounds exactly as the fused multiply-add of the plain
// complex convolution; the AVX2 code uses the fused form, the generic code
// the separate one. The real filter rounds each product to float first, as
// the plain real convolution does, and is never fused.
#include "polyphaseFilter.h"

#include <algorithm>
#include <cmath>

#include "cpuDispatch.h"

#if GENSIGNAL_AVX2
#include <immintrin.h>
#endif

namespace {

// Outputs handled per round of residue classes, so the strided writes of
// all classes stay in cache.
constexpr int64_t kClassRun = 64;

// The plain filtering of the stuffed train, term by term.
void literalComplex(const float* pts, int sps, const float* taps, int m, int64_t first, int64_t last, float* out) {
    for (int64_t i = first; i < last; ++i) {
        double re = 0.0, im = 0.0;
        for (int k = 0; k < m; ++k) {
            const int64_t at = i + k;
            const bool point = at % sps == 0;
            const double xr = point ? pts[2 * (at / sps)] : 0.0f;
            const double xi = point ? pts[2 * (at / sps) + 1] : 0.0f;
            re = std::fma(xr, static_cast<double>(taps[k]), re);
            im = std::fma(xi, static_cast<double>(taps[k]), im);
        }
        out[2 * (i - first)] = static_cast<float>(re);
        out[2 * (i - first) + 1] = static_cast<float>(im);
    }
}

void literalReal(const float* levels, int sps, const float* taps, int m, int64_t first, int64_t last, float* out) {
    for (int64_t i = first; i < last; ++i) {
        double acc = 0.0;
        for (int k = 0; k < m; ++k) {
            const int64_t at = i + k;
            const float x = at % sps == 0 ? levels[at / sps] : 0.0f;
            acc += static_cast<double>(taps[k] * x);
        }
        out[i - first] = static_cast<float>(acc);
    }
}

// One residue class: `count` outputs, the first using point j0 and tap p,
// written `stride` complex samples apart.
using ComplexClass = void (*)(const float* pts, int64_t j0, int64_t count, const float* taps, int m, int sps, int p,
                              float* out, int64_t stride);
using RealClass = void (*)(const float* levels, int64_t j0, int64_t count, const float* taps, int m, int sps, int p,
                           float* out, int64_t stride);

// Four outputs per round (one for each of the last three), each with its
// own accumulators: the rounds are bound by the adds, not by their latency.
void complexClassGeneric(const float* pts, int64_t j0, int64_t count, const float* taps, int m, int sps, int p,
                         float* out, int64_t stride) {
    int64_t r = 0;
    for (; r + 4 <= count; r += 4) {
        const float* x = pts + 2 * (j0 + r);
        double acc[8] = {};
        for (int k = p; k < m; k += sps, x += 2) {
            const double h = taps[k];
            for (int e = 0; e < 8; ++e) acc[e] += static_cast<double>(x[e]) * h;
        }
        for (int l = 0; l < 4; ++l) {
            out[2 * (r + l) * stride] = static_cast<float>(acc[2 * l]);
            out[2 * (r + l) * stride + 1] = static_cast<float>(acc[2 * l + 1]);
        }
    }
    for (; r < count; ++r) {
        const float* x = pts + 2 * (j0 + r);
        double re = 0.0, im = 0.0;
        for (int k = p; k < m; k += sps, x += 2) {
            const double h = taps[k];
            re += static_cast<double>(x[0]) * h;
            im += static_cast<double>(x[1]) * h;
        }
        out[2 * r * stride] = static_cast<float>(re);
        out[2 * r * stride + 1] = static_cast<float>(im);
    }
}

void realClassGeneric(const float* levels, int64_t j0, int64_t count, const float* taps, int m, int sps, int p,
                      float* out, int64_t stride) {
    int64_t r = 0;
    for (; r + 4 <= count; r += 4) {
        const float* x = levels + j0 + r;
        double acc[4] = {};
        for (int k = p; k < m; k += sps, ++x)
            for (int l = 0; l < 4; ++l) acc[l] += static_cast<double>(taps[k] * x[l]);
        for (int l = 0; l < 4; ++l) out[(r + l) * stride] = static_cast<float>(acc[l]);
    }
    for (; r < count; ++r) {
        const float* x = levels + j0 + r;
        double acc = 0.0;
        for (int k = p; k < m; k += sps, ++x) acc += static_cast<double>(taps[k] * *x);
        out[r * stride] = static_cast<float>(acc);
    }
}

#if GENSIGNAL_AVX2

#define GS_AVX2 GENSIGNAL_AVX2_TARGET

// Eight outputs per round in four registers of two complex outputs each.
GS_AVX2 void complexClassAvx2(const float* pts, int64_t j0, int64_t count, const float* taps, int m, int sps, int p,
                              float* out, int64_t stride) {
    int64_t r = 0;
    for (; r + 8 <= count; r += 8) {
        __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
        const float* x = pts + 2 * (j0 + r);
        for (int k = p; k < m; k += sps, x += 2) {
            const __m256d h = _mm256_set1_pd(taps[k]);
            a0 = _mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(x)), h, a0);
            a1 = _mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(x + 4)), h, a1);
            a2 = _mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(x + 8)), h, a2);
            a3 = _mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(x + 12)), h, a3);
        }
        float* y = out + 2 * r * stride;
        const int64_t s = 2 * stride;
        const __m128 f0 = _mm256_cvtpd_ps(a0), f1 = _mm256_cvtpd_ps(a1);
        const __m128 f2 = _mm256_cvtpd_ps(a2), f3 = _mm256_cvtpd_ps(a3);
        _mm_storel_pi(reinterpret_cast<__m64*>(y), f0);
        _mm_storeh_pi(reinterpret_cast<__m64*>(y + s), f0);
        _mm_storel_pi(reinterpret_cast<__m64*>(y + 2 * s), f1);
        _mm_storeh_pi(reinterpret_cast<__m64*>(y + 3 * s), f1);
        _mm_storel_pi(reinterpret_cast<__m64*>(y + 4 * s), f2);
        _mm_storeh_pi(reinterpret_cast<__m64*>(y + 5 * s), f2);
        _mm_storel_pi(reinterpret_cast<__m64*>(y + 6 * s), f3);
        _mm_storeh_pi(reinterpret_cast<__m64*>(y + 7 * s), f3);
    }
    for (; r < count; ++r) {
        const float* x = pts + 2 * (j0 + r);
        double re = 0.0, im = 0.0;
        for (int k = p; k < m; k += sps, x += 2) {
            const double h = taps[k];
            re = std::fma(static_cast<double>(x[0]), h, re);
            im = std::fma(static_cast<double>(x[1]), h, im);
        }
        out[2 * r * stride] = static_cast<float>(re);
        out[2 * r * stride + 1] = static_cast<float>(im);
    }
}

// Eight outputs per round: eight single-precision products, widened and
// added to two registers of four double accumulators.
GS_AVX2 void realClassAvx2(const float* levels, int64_t j0, int64_t count, const float* taps, int m, int sps, int p,
                           float* out, int64_t stride) {
    int64_t r = 0;
    for (; r + 8 <= count; r += 8) {
        __m256d a0 = _mm256_setzero_pd(), a1 = a0;
        const float* x = levels + j0 + r;
        for (int k = p; k < m; k += sps, ++x) {
            const __m256 prod = _mm256_mul_ps(_mm256_set1_ps(taps[k]), _mm256_loadu_ps(x));
            a0 = _mm256_add_pd(a0, _mm256_cvtps_pd(_mm256_castps256_ps128(prod)));
            a1 = _mm256_add_pd(a1, _mm256_cvtps_pd(_mm256_extractf128_ps(prod, 1)));
        }
        alignas(16) float f[8];
        _mm_store_ps(f, _mm256_cvtpd_ps(a0));
        _mm_store_ps(f + 4, _mm256_cvtpd_ps(a1));
        for (int l = 0; l < 8; ++l) out[(r + l) * stride] = f[l];
    }
    for (; r < count; ++r) {
        const float* x = levels + j0 + r;
        double acc = 0.0;
        for (int k = p; k < m; k += sps, ++x) acc += static_cast<double>(taps[k] * *x);
        out[r * stride] = static_cast<float>(acc);
    }
}

#undef GS_AVX2

// The variant in use.
#define GS_VARIANT(name) (useAvx2() ? name##Avx2 : name##Generic)
#else
#define GS_VARIANT(name) (name##Generic)
#endif  // GENSIGNAL_AVX2

// Walks [first, last) in runs, and within a run every residue class that
// has an output there (all sps of them only when the run is that long).
// `width` is the floats per output (2 complex, 1 real).
template <class Class>
void byClass(Class run, const float* x, const StuffedFilter& f, int64_t first, int64_t last, float* out, int width) {
    const int sps = f.sps;
    const int64_t span = kClassRun * sps;
    for (int64_t start = first; start < last; start += span) {
        const int64_t end = std::min(last, start + span);
        for (int64_t i0 = start; i0 < std::min(end, start + sps); ++i0) {
            const int p = static_cast<int>((sps - i0 % sps) % sps);
            run(x, (i0 + p) / sps, (end - 1 - i0) / sps + 1, f.taps, f.m, sps, p, out + width * (i0 - first), sps);
        }
    }
}

}  // namespace

StuffedFilter stuffedFilter(const float* taps, int m, int sps) {
    bool finite = true;
    for (int k = 0; k < m; ++k) finite = finite && std::isfinite(taps[k]);
    return {taps, m, sps, finite};
}

void shapeStuffedComplex(const std::complex<float>* points, const StuffedFilter& filter, int64_t first, int64_t last,
                         std::complex<float>* out) {
    if (first >= last) return;
    const float* x = reinterpret_cast<const float*>(points);
    float* y = reinterpret_cast<float*>(out);
    if (!filter.finite) {
        literalComplex(x, filter.sps, filter.taps, filter.m, first, last, y);
        return;
    }
    byClass(GS_VARIANT(complexClass), x, filter, first, last, y, 2);
}

void shapeStuffedReal(const float* levels, const StuffedFilter& filter, int64_t first, int64_t last, float* out) {
    if (first >= last) return;
    if (!filter.finite) {
        literalReal(levels, filter.sps, filter.taps, filter.m, first, last, out);
        return;
    }
    byClass(GS_VARIANT(realClass), levels, filter, first, last, out, 1);
}

#undef GS_VARIANT
