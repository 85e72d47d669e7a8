// The pulse generator's first stage: its rules and counts, shared with the
// entry point, which fills a period that needs no resampling straight into
// the I/Q buffer. Returns 0, or -1 with the reason recorded.
#pragma once

#include "wrapperGenSignalWave.h"

struct PulsePlan {
    int periodSamples;    // P
    int highSamples;      // W, at most P
    double internalRate;  // P / pulsePeriod
    bool resample;        // the internal rate is off the sample rate
    int resampled;        // samples the resampler writes
};
int planPulse(const PulseParams& p, double sampleRate, PulsePlan& plan);
