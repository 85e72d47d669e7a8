// The pulse record's rules and what the generator derives from it.
#pragma once

#include "wrapperGenSignalWave.h"

struct PulsePlan {
    int periodSamples;    // P
    int highSamples;      // W, at most P
    double internalRate;  // P / pulsePeriod
    bool resample;        // the internal rate is off the sample rate
    int resampled;        // samples the resampler writes
    double sampleRate;
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planPulse(const PulseParams& p, double sampleRate, PulsePlan& plan);
