// AM envelope: 1 + m*s(t) for a sine, square, triangle or sawtooth s, over a
// whole number of modulation periods whenever one fits whole samples (the
// first of 1, 10, 100, 1000 periods whose length is whole, else 10000),
// as real doubles (the frame's peak and rounding are defined on them). In
// the exact loop mode the defined output is the loop where it is exactly
// whole; elsewhere the same envelope is formed at exact positions over the
// fewest periods that span whole samples.
#pragma once

#include "generatedWave.h"
#include "kindUnit.h"
#include "wrapperGenSignalWave.h"

struct AmPlan {
    int samples;  // the defined length
    int shape;
    double modFrequency;
    double offset;  // lifts the wave so that it reads 1 + m*s(t) once scaled
    double sampleRate;
    int periods;         // modulation periods in the defined length
    bool definedLength;  // the defined length is a length the defined mode hands out
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken. The
// defined length is a rule only where it is the length (`lengthIsRule`).
int planAm(const AMModParams& p, double sampleRate, AmPlan& plan, bool lengthIsRule = true);

using AmKind = KindUnit<AMModParams, AmPlan, double>;
template <>
inline const char* const AmKind::kEntryPoint = "GenerateAmWaveform";
