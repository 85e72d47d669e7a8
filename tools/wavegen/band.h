// The band that holds 99 % of a waveform's power, for the metadata.
//
// Measured on the DFT of the whole buffer (its first 2^20 samples when it
// is longer): the buffers loop, so the DFT of one period has no leakage.
// With the bins in frequency order, m = 0 ... N-1 at (m - floor(N/2)) * rate / N,
// power p[m] = re^2 + im^2 and the total T summed from the lowest bin up,
// the lower bin is the first whose running sum from below exceeds 0.005 T
// and the upper bin the last whose running sum from above does. The edges
// are the outer borders of those bins: (lower - floor(N/2) - 0.5) * rate / N
// and (upper - floor(N/2) + 0.5) * rate / N, in that order of operations.
// The Python package measures the same way.
#pragma once

#include <cstdint>

struct Band {
    double lower = 0;  // Hz, relative to the centre
    double upper = 0;
};

constexpr int kBandWindow = 1 << 20;

Band occupiedBand(const int16_t* iq, int samples, double sampleRate);
