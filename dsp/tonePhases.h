// Starting phases for the tones of a multitone, k = 0 ... N-1 in ascending
// frequency. Equal phases add up to a peak of N at the first sample (an
// 18 dB crest factor for 64 tones); quadratic phases spread the tones' peaks
// over the period.
#pragma once

#include <cstdint>

enum class TonePhases : int {
    zero = 0,
    newman = 1,     // pi k^2 / N
    schroeder = 2,  // -pi k (k + 1) / N
    random = 3,     // uniform in [0, 2 pi), from a seed
};

// The phase of tone k of N, in radians. The quadratic laws are reduced
// exactly modulo 2 pi first (k^2 modulo 2N), so large N lose nothing.
double tonePhase(TonePhases law, int64_t k, int64_t N, uint64_t seed);
