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

#include "bandReason.h"
#include "generatedWave.h"
#include "kindCall.h"
#include "naturalPeriod.h"
#include "wrapperGenSignalWave.h"

class GenSignalClass;

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

struct StepSweepKind {
    using Params = StepSweepParams;
    using Plan = StepSweepPlan;
    using Sample = std::complex<float>;
    static constexpr const char* kEntryPoint = "GenerateStepSweepWaveform";

    static int plan(const Params& p, const KindCall& call, Plan& plan);
    static NaturalPeriod period(const Params& p, const KindCall& call);
    static bool aboveNyquist(const Params& p, double sampleRate, BandReason& why);
    static int generate(GenSignalClass& obj, const Plan& plan, const KindCall& call, GeneratedWave<Sample>& wave,
                        MadeLoop& made);
    static int loop(GenSignalClass& obj, const Params& p, const Plan& plan, const KindCall& call,
                    const NaturalPeriod& period, GeneratedWave<Sample>& wave, MadeLoop& made);
};
