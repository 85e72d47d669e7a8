// The AM record's rules and what the generator derives from it.
#pragma once

#include "wrapperGenSignalWave.h"

struct AmPlan {
    int samples;
    int shape;
    double modFrequency;
    double offset;  // lifts the wave so that it reads 1 + m*s(t) once scaled
    double sampleRate;
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planAm(const AMModParams& p, double sampleRate, AmPlan& plan);

// The same rules without the defined length, for a loop whose length the
// caller sets (the exact loop mode): samples 0.
int planAmLoop(const AMModParams& p, double sampleRate, AmPlan& plan);
