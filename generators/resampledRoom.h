// How much room the digital and spread-spectrum generators give the
// resampler's output, and how far they may resample down.
#pragma once

#include <algorithm>
#include <cmath>

#include "function.h"

// For `shapedLen` samples filtered from a train of `trainLen` samples at
// `inRate`: ceil(trainLen * outRate / inRate), or the resampler's exact count
// where rounding makes that one larger. -1 when either reaches 2^30.
inline int resampledRoom(int trainLen, int shapedLen, double outRate, double inRate) {
    const double estimate = std::ceil(static_cast<double>(trainLen) * outRate / inRate);
    const int exact = farrowOutputLength(shapedLen, outRate, inRate);
    if (!countFits(estimate) || exact < 0) return -1;
    return std::max(static_cast<int>(estimate), exact);
}

// A symbol- or chip-locked stream is computed in full before it is
// resampled: a sample rate below 1/kMaxRateDivision of its rate would make
// that work absurd for the result (and the result an alias, not a waveform).
constexpr int kMaxRateDivision = 1024;

inline bool rateDivisionFits(double outRate, double inRate) { return outRate * kMaxRateDivision >= inRate; }
