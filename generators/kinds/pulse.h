// One period of a rectangular pulse train (1.0 high, 0.0 low, real), laid
// out in whole samples at an internal rate and resampled when that rate is
// off the sample rate; a period that needs no resampling goes to the frame
// as two runs. In the exact loop mode the period of whole samples is
// resampled as a periodic signal to the fewest whole pulse periods that
// span whole samples: band-limited edges, no images, a seamless loop.
#pragma once

#include "generatedWave.h"
#include "kindUnit.h"
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

using PulseKind = KindUnit<PulseParams, PulsePlan, float>;
template <>
inline const char* const PulseKind::kEntryPoint = "GeneratePulseWaveform";
