// The FM record's rules and what the generator derives from it.
#pragma once

#include "wrapperGenSignalWave.h"

struct FmPlan {
    int samples;  // may be 0: a valid, empty result
    int shape;
    double modFrequency;
    double phaseStep;  // radians per sample per unit of the modulating wave
    double sampleRate;
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planFm(const FMModParams& p, double sampleRate, FmPlan& plan);

// The same rules without the defined length, for a loop whose length the
// caller sets (the exact loop mode): samples 0.
int planFmLoop(const FMModParams& p, double sampleRate, FmPlan& plan);
