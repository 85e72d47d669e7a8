// N equal-amplitude tones placed symmetrically about 0 Hz (even N at
// +-(k + 1/2) spacings, odd N at 0 and +-k spacings), one common period
// built at an internal rate that makes the period whole samples, then
// resampled to the sample rate when the two differ; each tone starts at the
// phase the handle asks for (zero as defined). In the exact loop mode the
// tones are made straight at the sample rate, each a whole number of cycles
// in the fewest common periods that span whole samples.
#pragma once

#include <complex>

#include "generatedWave.h"
#include "kindUnit.h"
#include "tonePhases.h"
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
    TonePhases phases = TonePhases::zero;  // the tones' starting phases
    uint32_t phaseSeed = 0;
};

// 0 with `plan` filled (zero phases), or -1 with the reason of the first
// rule broken.
int planMultitone(const MultitoneParams& p, double sampleRate, MultitonePlan& plan);

// The defined tone list of N frequencies in Hz: the tones above 0 Hz in
// ascending order (with 0 Hz first for an odd count), then their negatives.
void multitoneToneList(const MultitonePlan& plan, double* f);

using MultitoneKind = KindUnit<MultitoneParams, MultitonePlan, std::complex<float>>;
template <>
inline const char* const MultitoneKind::kEntryPoint = "GenerateMultitoneWaveform";
