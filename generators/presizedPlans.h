// The first stage of the three generators that fill an array their entry
// point allocates: each checks its record and derives every count, so the
// entry point sizes the array from the same plan the generator then follows.
// Each returns 0, or -1 with the reason recorded.
#pragma once

#include "wrapperGenSignalWave.h"

struct StepSweepPlan {
    int samples;       // N = floor(dwellTime * sampleRate * stepCount)
    int steps;         // S
    double dwellTime;  // s per step
    double delta;      // Hz between neighbouring steps
    double centre;     // (S - 1) / 2: step k sits at (k - centre) * delta
};
int planStepSweep(const StepSweepParams& p, double sampleRate, StepSweepPlan& plan);

struct RampSweepPlan {
    int samples;       // N: the ramp, then silence up to the longer time
    int rampSamples;   // R = floor(sweepTime * sampleRate)
    double sweepTime;  // s
    double chirpRate;  // Hz per s
};
int planRampSweep(const RampSweepParams& p, double sampleRate, RampSweepPlan& plan);

struct AwgnPlan {
    int samples;    // N = floor(duration * sampleRate)
    double cutoff;  // bandwidth / sampleRate, at most 0.5
};
int planAwgn(const AWGNParams& p, double sampleRate, AwgnPlan& plan);
