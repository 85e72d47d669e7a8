// A circular delay by any number of samples: a whole number of them is a
// shift; a fraction is a Kaiser-windowed sinc of 32 taps (beta 8, centred
// on the delayed instant, normalised to sum 1 so that DC passes exactly),
// within -76 dB of the ideal band-limited delay up to 0.8 of the Nyquist
// frequency. Read circularly, so the delayed buffer loops as it did. The
// rails go separately (real and imaginary parts in arrays of their own),
// each output a sum in tap order.
#pragma once

#include <cstdint>

constexpr int kDelayTaps = 32;
constexpr double kDelayBeta = 8.0;

struct FractionalDelay {
    // Output sample m is the sum over l < taps of coefficient[l] x[m - shift - l] (indices modulo n).
    int64_t shift = 0;
    int taps = 1;
    float coefficient[kDelayTaps] = {1.0f};
};

// The delay by `delay` samples (any finite value, reduced modulo n) of an
// n-sample loop.
FractionalDelay designDelay(double delay, int64_t n);

// x[(start + i) mod n] for i < count into `out`.
void copyCircular(const float* x, int64_t n, int64_t start, int64_t count, float* out);

// Outputs [first, first + count) of one rail x delayed by `d`: where they
// lie (in x itself for a whole-sample shift that does not wrap, else in
// out); `window` holds count + kDelayTaps - 1 floats.
const float* delayBlock(const FractionalDelay& d, const float* x, int64_t n, int64_t first, int count, float* window,
                        float* out);
