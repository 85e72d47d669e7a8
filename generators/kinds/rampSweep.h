// Linear ramp: a unit tone whose frequency climbs from -B/2 to +B/2 over the
// sweep time, then silence up to the duration. It is its own loop once the
// longer of the two spans a whole number of samples; the exact loop mode
// then returns it as it is, and refuses it otherwise.
#pragma once

#include <complex>

#include "generatedWave.h"
#include "kindUnit.h"
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

using RampSweepKind = KindUnit<RampSweepParams, RampSweepPlan, std::complex<float>>;
template <>
inline const char* const RampSweepKind::kEntryPoint = "GenerateRampSweepWaveform";
