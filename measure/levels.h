// The levels of a buffer in the time domain: peak and mean power, the CCDF
// of the instantaneous power, and the step across the loop's seam. Powers
// are in int16 counts squared.
#pragma once

#include <cstdint>

#include "sampleView.h"

// Probabilities of the four CCDF points every measurement reports.
constexpr double kCcdfProbabilities[4] = {1e-1, 1e-2, 1e-3, 1e-4};

struct Levels {
    double peakPower = 0;  // largest |x|^2
    double meanPower = 0;  // sum |x|^2 / n, summed from the first sample on
    // The power ranked floor(p n) from the top (0: the peak) for each of
    // kCcdfProbabilities.
    double ccdfPower[4] = {};
    double seamRatio = 0;  // |x[0] - x[n-1]| / max |x[i+1] - x[i]|, 0 without an interior step
};

// Three passes over the buffer, no memory beyond 1.5 MiB of histograms:
// false only when that cannot be had. n >= 1.
template <class Reader>
bool measureLevels(const Reader& x, int64_t n, Levels& out);

// The rank floor(p n) of a probability p in [0, 1) among n powers.
int64_t ccdfRank(double p, int64_t n);

// For the CCDF curve: the powers ranked ranks[i] from the top, sorted out
// of a copy of all n powers (4n bytes). False when the copy cannot be had.
template <class Reader>
bool rankedPowers(const Reader& x, int64_t n, const int64_t* ranks, int count, double* powers);

extern template bool measureLevels(const Ci16Reader&, int64_t, Levels&);
extern template bool measureLevels(const Cf32Reader&, int64_t, Levels&);
extern template bool rankedPowers(const Ci16Reader&, int64_t, const int64_t*, int, double*);
extern template bool rankedPowers(const Cf32Reader&, int64_t, const int64_t*, int, double*);
