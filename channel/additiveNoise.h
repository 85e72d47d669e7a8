// Circular complex white Gaussian noise, one draw per sample of the buffer
// (counterRandom.h, stage kStageNoise, index m), scaled so that its power
// over the buffer is exactly the target: over the full rate, or inside a
// band of B Hz centred at 0 Hz (the DFT bins whose centre lies within
// +-B/2), the noise still spanning the full rate.
#pragma once

#include <complex>
#include <cstdint>

#include "splitDft.h"

struct NoiseRealised {
    double fullPower = 0;  // mean |w|^2 of the noise added
    double bandPower = 0;  // its power inside the band (the full power without one)
};

// Adds the noise to x. `scratch` holds n samples; `forward` is a planned
// forward transform of n points when bandwidthHz > 0 (else unused).
NoiseRealised addNoise(uint64_t seed, double targetPower, double bandwidthHz, double sampleRate, std::complex<float>* x,
                       std::complex<float>* scratch, int64_t n, const SplitDft<float>* forward, int team,
                       double* partial);

// Whether DFT bin k of n lies within +-bandwidth/2 of 0 Hz (bins in the
// measurements' frequency order: k - n for k > (n - 1) / 2).
bool binInBand(int64_t k, int64_t n, double sampleRate, double bandwidthHz);
