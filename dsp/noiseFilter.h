// The AWGN generator's 128-tap filter over a window of raw samples that has
// been widened to double: y[j] = sum over k of h[k] * x[j + k], for every
// output in ascending tap order from +0, each term a fused multiply-add in
// double, exactly as the complex convolution forms it. A float times a
// float is exact in double, so a multiply followed by an add rounds as the
// fused form does; the kernels keep 16 outputs in flight, each in its own
// lanes with its own unchanged order.
#pragma once

#include <complex>

namespace noise {

constexpr int kTaps = 128;

// x: 2 * (count + kTaps - 1) doubles, interleaved re, im; h: kTaps taps
// widened to double; y: count samples.
void filterWindow(const double* x, const double* h, int count, std::complex<float>* y);

}  // namespace noise
