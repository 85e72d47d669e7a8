// The ramp-sweep record's rules and what the generator derives from it; the
// entry point sizes its array from the same plan the generator then reads.
#pragma once

#include "wrapperGenSignalWave.h"

struct RampSweepPlan {
    int samples;       // N: the ramp, then silence up to the longer time
    int rampSamples;   // R = floor(sweepTime * sampleRate)
    double sweepTime;  // s
    double chirpRate;  // Hz per s
    double sampleRate;
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planRampSweep(const RampSweepParams& p, double sampleRate, RampSweepPlan& plan);
