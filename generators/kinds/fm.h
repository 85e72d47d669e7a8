// FM: a unit phasor whose phase integrates a sine, square, triangle or
// sawtooth scaled by the peak deviation, over a whole number of modulation
// periods whenever one fits whole samples (the first of 1, 10, 100, 1000
// periods whose length is whole, else 10000). In the exact loop mode the
// defined output is the loop where it is exactly whole and its phase comes
// back; elsewhere the same phase law runs at exact positions over the
// fewest periods that span whole samples, and over as many of those loops
// as bring the phase back.
#pragma once

#include <complex>

#include "generatedWave.h"
#include "kindUnit.h"
#include "wrapperGenSignalWave.h"

struct FmPlan {
    int samples;  // the defined length; may be 0: a valid, empty result
    int shape;
    double modFrequency;
    double phaseStep;  // radians per sample per unit of the modulating wave
    double sampleRate;
    int periods;         // modulation periods in the defined length
    bool definedLength;  // the defined length is within 2^30 (always, once planned for the defined mode)
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken. The
// defined length is a rule only where it is the length (`lengthIsRule`).
int planFm(const FMModParams& p, double sampleRate, FmPlan& plan, bool lengthIsRule = true);

// The defined samples of `plan`; `endPhase`, when given, receives the phase
// after the last sample (0 mod 2 pi when the buffer loops in phase).
int fmSamples(const FmPlan& plan, GeneratedWave<std::complex<float>>& wave, double* endPhase);

using FmKind = KindUnit<FMModParams, FmPlan, std::complex<float>>;
template <>
inline const char* const FmKind::kEntryPoint = "GenerateFmWaveform";
