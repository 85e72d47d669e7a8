// What keeps an impaired buffer a loop, checked against its length: a
// frequency offset of a whole number of cycles over the buffer, phase-noise
// mask points at or above sampleRate / samples, and at least 8 Doppler
// lines within +-fD (fD T >= 4). An exact loop refuses what breaks a rule,
// naming what would close; the defined mode applies it and notes it.
#pragma once

#include <cstdint>

#include "channelNotes.h"
#include "wrapperGenSignalWave.h"

constexpr double kFewestDopplerPeriods = 4;

struct LoopFacts {
    bool cfoCloses = true;
    int64_t cfoCycles = 0;  // cfoHz * n / sampleRate when it closes
};

// 0 with the facts (and notes, in the defined mode), or -1 with the reason.
int applyLoopRules(const GenSignalChannel& channel, int64_t n, double sampleRate, bool exact, ChannelNotes* notes,
                   LoopFacts& facts);
