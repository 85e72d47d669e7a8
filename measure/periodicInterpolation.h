// A periodic buffer sampled again at another rate over the same period,
// band-limited: its n-point spectrum carried into an m-point one, the bins
// below half the lower rate kept (the one at half of it split or folded as
// the two rates' parities ask). A receiver's interpolation at instants off
// the sample grid, exact for a band-limited periodic signal.
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"
#include "sampleView.h"

// 0 with `out` holding m samples, or -1 with the reason when the memory or
// a transform cannot be had. n, m >= 1.
template <class Reader>
int resamplePeriodic(const Reader& x, int64_t n, int64_t m, Buffer<std::complex<double>>& out);

extern template int resamplePeriodic(const Ci16Reader&, int64_t, int64_t, Buffer<std::complex<double>>&);
extern template int resamplePeriodic(const Cf32Reader&, int64_t, int64_t, Buffer<std::complex<double>>&);
