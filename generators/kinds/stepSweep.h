// Stepped sweep: a unit tone dwelling on S equally spaced frequencies
// centred on 0 Hz, the phase running on continuously across the steps. The
// sweep is its own loop once every dwell spans a whole number of samples:
// the steps lie symmetrically about 0 Hz, so the phase then turns by a whole
// number of turns over the sweep. The exact loop mode returns the defined
// output wherever its step changes fall on those whole-sample boundaries;
// elsewhere the phase runs over exact boundaries.
#pragma once

#include <complex>
#include <cstdint>

#include "generatedWave.h"
#include "kindUnit.h"
#include "wrapperGenSignalWave.h"

struct StepSweepPlan {
    int samples;       // N = floor(dwellTime * sampleRate * stepCount)
    int steps;         // S
    double dwellTime;  // s per step
    double delta;      // Hz between neighbouring steps
    double centre;     // (S - 1) / 2: step k sits at (k - centre) * delta
    double dt;         // 1 / sampleRate
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planStepSweep(const StepSweepParams& p, double sampleRate, StepSweepPlan& plan);

// The stepping rule: step s (counted from 1) is in force from the first
// sample i whose time i * dt reaches (s - 1) * dwellTime, so step s + 1 has
// begun at sample i when this holds.
inline bool nextStepReached(const StepSweepPlan& plan, int s, int i) { return s * plan.dwellTime <= i * plan.dt; }

using StepSweepKind = KindUnit<StepSweepParams, StepSweepPlan, std::complex<float>>;
template <>
inline const char* const StepSweepKind::kEntryPoint = "GenerateStepSweepWaveform";
