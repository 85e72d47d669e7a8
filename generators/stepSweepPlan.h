// The step-sweep record's rules and what the generator derives from it; the
// entry point sizes its array from the same plan the generator then reads.
#pragma once

#include "wrapperGenSignalWave.h"

struct StepSweepPlan {
    int samples;       // N = floor(dwellTime * sampleRate * stepCount)
    int steps;         // S
    double dwellTime;  // s per step
    double delta;      // Hz between neighbouring steps
    double centre;     // (S - 1) / 2: step k sits at (k - centre) * delta
    double dt;         // 1 / sampleRate
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planStepSweep(const StepSweepParams& p, double sampleRate, StepSweepPlan& plan);
