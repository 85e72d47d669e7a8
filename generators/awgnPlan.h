// The AWGN record's rules and what the generator derives from it; the entry
// point sizes its array from the same plan the generator then reads.
#pragma once

#include "wrapperGenSignalWave.h"

struct AwgnPlan {
    int samples;    // N = floor(duration * sampleRate)
    double cutoff;  // bandwidth / sampleRate, at most 0.5
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planAwgn(const AWGNParams& p, double sampleRate, AwgnPlan& plan);
