// The FSK modulator's count rules, shared with the digital generator's plan
// so that both judge a burst the same way, and the modulator itself for a
// caller that has checked the burst (DigitalModFSK checks its arguments,
// then runs it).
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"

// Levels the modulator works on: the symbol count made even.
inline int64_t fskLevelCount(int64_t symbols) { return symbols + (symbols & 1); }

// The balance walk needs at least one symbol between the two guards.
inline bool fskGuardsLeaveRoom(int64_t levels, int guard) { return levels >= 2 * static_cast<int64_t>(guard) + 2; }

struct FskBurst {
    int symbols;  // n, at least 1; the symbol array has room for fskLevelCount(n)
    int M;        // 2 ... 32768
    double deviation;
    int sps;            // at least 1, with fskLevelCount(n) * sps below 2^30
    int tapCount;       // at least 1
    int guard;          // G, at least 1, with fskGuardsLeaveRoom(fskLevelCount(n), G)
    double inRate;      // sps * symbol rate, finite and above 0
    double sampleRate;  // finite and above 0
    // K: farrowOutputLength of the shaped levels from inRate to sampleRate,
    // 0 when the taps outnumber the levels' train.
    int outputLength;
};

// Rewrites the symbols as levels and normalises the taps, in place, and
// modulates: 0 with burst.outputLength samples in `out`; -1 with the reason
// when the levels cannot be balanced; -3 when its memory cannot be had.
int modulateFsk(short* symbols, float* taps, const FskBurst& burst, Buffer<std::complex<float>>& out);
