// The multitone record's rules and what the generator derives from it.
#pragma once

#include "wrapperGenSignalWave.h"

struct MultitonePlan {
    int tones;            // N
    double spacing;       // Hz between neighbouring tones
    double internalRate;  // r' = K * highest tone, at or below the sample rate
    int patternSamples;   // L: one period of the base tone at r'
    bool resample;        // r' is not the sample rate
    int resampled;        // samples the resampler writes
    int resampledRoom;    // samples the resampler's output array holds
    double sampleRate;
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planMultitone(const MultitoneParams& p, double sampleRate, MultitonePlan& plan);

// The defined tone list of N frequencies in Hz: the tones above 0 Hz in
// ascending order (with 0 Hz first for an odd count), then their negatives.
void multitoneToneList(const MultitonePlan& plan, double* f);
