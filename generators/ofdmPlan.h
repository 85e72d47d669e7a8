// The OFDM record's rules and what the generator derives from it.
#pragma once

#include <cstdint>

#include "wrapperGenSignalWave.h"

struct OfdmPlan {
    int32_t type;
    int bitsPerPoint;  // k
    int fftSize;       // N, a power of two
    int symbols;       // S
    int guardLow;
    bool nullDC;
    bool windowing;
    int used;     // U subcarriers per symbol; 0 gives an empty frame
    int prefix;   // P, 0 ... N
    int samples;  // S * (N + P)
    int points;   // U * S
    int bits;     // k * U * S
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planOfdm(const OFDMParams& p, OfdmPlan& plan);
