// The frame's inner loops over plain arrays, each in a generic and an
// AVX2+FMA version with the same bits; the plain names dispatch on the
// variant in use (cpuDispatch.h).
//
// Rounding is half away from zero, as lroundf/lround do, and the rounded
// value is narrowed to int16 by keeping its low 16 bits, as a cast of their
// result does. Both hold for every input of magnitude below 2^31; the frame
// only rounds values within +-32767.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpuDispatch.h"

namespace conversion {

// Largest fmaf(re, re, im * im) over n interleaved complex samples, 0 for
// none; NaN when any of them is NaN or infinite.
float complexPeakSquared(const float* xy, size_t n);
// Largest |x| over n samples, 0 for none; NaN when any is not finite.
float realPeak(const float* x, size_t n);
double realPeak(const double* x, size_t n);

// out[i] = lroundf(g * x[i]) for i < count (complex samples as 2n floats).
void scaleRound(const float* x, size_t count, float g, int16_t* out);
// out[2i] = lroundf(g * x[i]), out[2i+1] = 0 for i < n.
void scaleRoundReal(const float* x, size_t n, float g, int16_t* out);
// out[2i] = lround(g * x[i]), out[2i+1] = 0 for i < n.
void scaleRoundReal(const double* x, size_t n, double g, int16_t* out);

namespace generic {
float complexPeakSquared(const float* xy, size_t n);
float realPeak(const float* x, size_t n);
double realPeak(const double* x, size_t n);
void scaleRound(const float* x, size_t count, float g, int16_t* out);
void scaleRoundReal(const float* x, size_t n, float g, int16_t* out);
void scaleRoundReal(const double* x, size_t n, double g, int16_t* out);
}  // namespace generic

#if GENSIGNAL_AVX2
namespace avx2 {
float complexPeakSquared(const float* xy, size_t n);
float realPeak(const float* x, size_t n);
double realPeak(const double* x, size_t n);
void scaleRound(const float* x, size_t count, float g, int16_t* out);
void scaleRoundReal(const float* x, size_t n, float g, int16_t* out);
void scaleRoundReal(const double* x, size_t n, double g, int16_t* out);
}  // namespace avx2
#endif

}  // namespace conversion
