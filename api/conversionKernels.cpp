#include "conversionKernels.h"

#if GENSIGNAL_AVX2
#include <immintrin.h>
#endif

#include <cfloat>
#include <cmath>
#include <limits>

#include "cpuDispatch.h"

namespace conversion {

namespace {

// Half away from zero without lroundf: truncate, then step by one when the
// remainder reaches a half. y - trunc(y) is exact (both share sign and
// y/2 <= trunc(y) <= y once |y| >= 1; below that trunc(y) is 0), so the
// comparison sees the true remainder.
inline int32_t roundHalfAway(float y) {
    const int32_t i = static_cast<int32_t>(y);
    const float r = y - static_cast<float>(i);
    return i + (r >= 0.5f) - (r <= -0.5f);
}
inline int32_t roundHalfAway(double y) {
    const int32_t i = static_cast<int32_t>(y);
    const double r = y - static_cast<double>(i);
    return i + (r >= 0.5) - (r <= -0.5);
}
// The low 16 bits, as a cast of lroundf's long result keeps them.
inline int16_t low16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

template <class T>
T peakMagnitude(const T* x, size_t n) {
    T peak = 0;
    bool bad = false;
    for (size_t i = 0; i < n; ++i) {
        const T a = std::fabs(x[i]);
        bad |= !(a <= std::numeric_limits<T>::max());
        peak = a > peak ? a : peak;
    }
    return bad ? std::numeric_limits<T>::quiet_NaN() : peak;
}

// (I, 0) pairs of a real signal.
template <class T>
void scaleRoundPairs(const T* x, size_t n, T g, int16_t* out) {
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = low16(roundHalfAway(g * x[i]));
        out[2 * i + 1] = 0;
    }
}

// The peak of a vector loop and of the scalar code over the samples it
// left: both are at least 0 and exact, so the larger is the whole's.
template <class T>
T joinedPeak(T vectorPeak, bool vectorBad, T restPeak) {
    if (vectorBad || std::isnan(restPeak)) return std::numeric_limits<T>::quiet_NaN();
    return restPeak > vectorPeak ? restPeak : vectorPeak;
}

}  // namespace

namespace generic {

float complexPeakSquared(const float* xy, size_t n) {
    float peak = 0.0f;
    bool bad = false;
    for (size_t i = 0; i < n; ++i) {
        const float re = xy[2 * i], im = xy[2 * i + 1];
        const float m = std::fma(re, re, im * im);
        bad |= !(m <= FLT_MAX);
        peak = m > peak ? m : peak;
    }
    return bad ? std::numeric_limits<float>::quiet_NaN() : peak;
}

float realPeak(const float* x, size_t n) { return peakMagnitude(x, n); }
double realPeak(const double* x, size_t n) { return peakMagnitude(x, n); }

void scaleRound(const float* x, size_t count, float g, int16_t* out) {
    for (size_t i = 0; i < count; ++i) out[i] = low16(roundHalfAway(g * x[i]));
}

void scaleRoundReal(const float* x, size_t n, float g, int16_t* out) { scaleRoundPairs(x, n, g, out); }
void scaleRoundReal(const double* x, size_t n, double g, int16_t* out) { scaleRoundPairs(x, n, g, out); }

}  // namespace generic

#if GENSIGNAL_AVX2

namespace avx2 {

#define GS_AVX2 GENSIGNAL_AVX2_TARGET

namespace {

// Eight products g * x rounded half away from zero to int32.
GS_AVX2 inline __m256i roundHalfAway8(__m256 y) {
    const __m256 t = _mm256_round_ps(y, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256 r = _mm256_sub_ps(y, t);
    const __m256i up = _mm256_castps_si256(_mm256_cmp_ps(r, _mm256_set1_ps(0.5f), _CMP_GE_OQ));
    const __m256i down = _mm256_castps_si256(_mm256_cmp_ps(r, _mm256_set1_ps(-0.5f), _CMP_LE_OQ));
    // The masks are -1 where set: subtracting one steps up, adding the other down.
    return _mm256_add_epi32(_mm256_sub_epi32(_mm256_cvttps_epi32(t), up), down);
}

// Four doubles rounded the same way, as int32.
GS_AVX2 inline __m128i roundHalfAway4(__m256d y) {
    const __m256d t = _mm256_round_pd(y, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256d r = _mm256_sub_pd(y, t);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d up = _mm256_and_pd(_mm256_cmp_pd(r, _mm256_set1_pd(0.5), _CMP_GE_OQ), one);
    const __m256d down = _mm256_and_pd(_mm256_cmp_pd(r, _mm256_set1_pd(-0.5), _CMP_LE_OQ), one);
    // t is a whole number below 2^31 in magnitude: adding 1 is exact.
    return _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_add_pd(t, up), down));
}

// Sixteen int32 to int16 keeping the low 16 bits, in order.
GS_AVX2 inline __m256i low16x16(__m256i a, __m256i b) {
    const __m256i mask = _mm256_set1_epi32(0xFFFF);
    const __m256i packed = _mm256_packus_epi32(_mm256_and_si256(a, mask), _mm256_and_si256(b, mask));
    return _mm256_permute4x64_epi64(packed, 0xD8);
}

GS_AVX2 inline float horizontalMax(__m256 v) {
    __m128 m = _mm_max_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    m = _mm_max_ps(m, _mm_movehl_ps(m, m));
    m = _mm_max_ss(m, _mm_shuffle_ps(m, m, 1));
    return _mm_cvtss_f32(m);
}

GS_AVX2 inline bool anySet(__m256 mask) { return _mm256_movemask_ps(mask) != 0; }

}  // namespace

GS_AVX2 float complexPeakSquared(const float* xy, size_t n) {
    // Lanes hold re, im, re, im, ...: with the squares swapped pairwise,
    // the even lanes of fma(x, x, swapped) are fmaf(re, re, im * im); the odd
    // lanes are cleared so that only those take part.
    const __m256 even = _mm256_castsi256_ps(_mm256_setr_epi32(-1, 0, -1, 0, -1, 0, -1, 0));
    const __m256 limit = _mm256_set1_ps(FLT_MAX);
    __m256 peak = _mm256_setzero_ps();
    __m256 bad = _mm256_setzero_ps();
    const size_t floats = 2 * n;
    size_t i = 0;
    for (; i + 8 <= floats; i += 8) {
        const __m256 v = _mm256_loadu_ps(xy + i);
        const __m256 swapped = _mm256_permute_ps(_mm256_mul_ps(v, v), 0xB1);
        const __m256 m = _mm256_and_ps(_mm256_fmadd_ps(v, v, swapped), even);
        bad = _mm256_or_ps(bad, _mm256_cmp_ps(m, limit, _CMP_NLE_UQ));
        peak = _mm256_max_ps(peak, m);
    }
    return joinedPeak(horizontalMax(peak), anySet(bad), generic::complexPeakSquared(xy + i, n - i / 2));
}

GS_AVX2 float realPeak(const float* x, size_t n) {
    const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    const __m256 limit = _mm256_set1_ps(FLT_MAX);
    __m256 peak = _mm256_setzero_ps();
    __m256 bad = _mm256_setzero_ps();
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 a = _mm256_and_ps(_mm256_loadu_ps(x + i), absMask);
        bad = _mm256_or_ps(bad, _mm256_cmp_ps(a, limit, _CMP_NLE_UQ));
        peak = _mm256_max_ps(peak, a);
    }
    return joinedPeak(horizontalMax(peak), anySet(bad), generic::realPeak(x + i, n - i));
}

GS_AVX2 double realPeak(const double* x, size_t n) {
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    const __m256d limit = _mm256_set1_pd(DBL_MAX);
    __m256d peak = _mm256_setzero_pd();
    __m256d bad = _mm256_setzero_pd();
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d a = _mm256_and_pd(_mm256_loadu_pd(x + i), absMask);
        bad = _mm256_or_pd(bad, _mm256_cmp_pd(a, limit, _CMP_NLE_UQ));
        peak = _mm256_max_pd(peak, a);
    }
    const __m128d m = _mm_max_pd(_mm256_castpd256_pd128(peak), _mm256_extractf128_pd(peak, 1));
    return joinedPeak(_mm_cvtsd_f64(_mm_max_sd(m, _mm_unpackhi_pd(m, m))), _mm256_movemask_pd(bad) != 0,
                      generic::realPeak(x + i, n - i));
}

GS_AVX2 void scaleRound(const float* x, size_t count, float g, int16_t* out) {
    const __m256 gv = _mm256_set1_ps(g);
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i a = roundHalfAway8(_mm256_mul_ps(gv, _mm256_loadu_ps(x + i)));
        const __m256i b = roundHalfAway8(_mm256_mul_ps(gv, _mm256_loadu_ps(x + i + 8)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), low16x16(a, b));
    }
    generic::scaleRound(x + i, count - i, g, out + i);
}

GS_AVX2 void scaleRoundReal(const float* x, size_t n, float g, int16_t* out) {
    // Each int32 lane holds I in its low half and 0 in its high half: the
    // (I, 0) pair in memory order.
    const __m256 gv = _mm256_set1_ps(g);
    const __m256i mask = _mm256_set1_epi32(0xFFFF);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i v = roundHalfAway8(_mm256_mul_ps(gv, _mm256_loadu_ps(x + i)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i), _mm256_and_si256(v, mask));
    }
    generic::scaleRoundReal(x + i, n - i, g, out + 2 * i);
}

GS_AVX2 void scaleRoundReal(const double* x, size_t n, double g, int16_t* out) {
    const __m256d gv = _mm256_set1_pd(g);
    const __m128i mask = _mm_set1_epi32(0xFFFF);
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i v = roundHalfAway4(_mm256_mul_pd(gv, _mm256_loadu_pd(x + i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_and_si128(v, mask));
    }
    generic::scaleRoundReal(x + i, n - i, g, out + 2 * i);
}

#undef GS_AVX2

}  // namespace avx2

// The variant in use.
#define GS_DISPATCH(call) (useAvx2() ? avx2::call : generic::call)
#else
#define GS_DISPATCH(call) (generic::call)
#endif

float complexPeakSquared(const float* xy, size_t n) { return GS_DISPATCH(complexPeakSquared(xy, n)); }
float realPeak(const float* x, size_t n) { return GS_DISPATCH(realPeak(x, n)); }
double realPeak(const double* x, size_t n) { return GS_DISPATCH(realPeak(x, n)); }
void scaleRound(const float* x, size_t count, float g, int16_t* out) { GS_DISPATCH(scaleRound(x, count, g, out)); }
void scaleRoundReal(const float* x, size_t n, float g, int16_t* out) { GS_DISPATCH(scaleRoundReal(x, n, g, out)); }
void scaleRoundReal(const double* x, size_t n, double g, int16_t* out) { GS_DISPATCH(scaleRoundReal(x, n, g, out)); }

#undef GS_DISPATCH

}  // namespace conversion
