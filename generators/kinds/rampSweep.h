// Linear ramp: a unit tone whose frequency climbs from -B/2 to +B/2 over the
// sweep time, then silence up to the duration. It is its own loop once the
// longer of the two spans a whole number of samples; the exact loop mode
// then returns it as it is, and refuses it otherwise.
#pragma once

#include <complex>

#include "bandReason.h"
#include "generatedWave.h"
#include "kindCall.h"
#include "naturalPeriod.h"
#include "wrapperGenSignalWave.h"

class GenSignalClass;

struct RampSweepPlan {
    int samples;       // N: the ramp, then silence up to the longer time
    int rampSamples;   // R = floor(sweepTime * sampleRate)
    double sweepTime;  // s
    double chirpRate;  // Hz per s
    double sampleRate;
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planRampSweep(const RampSweepParams& p, double sampleRate, RampSweepPlan& plan);

struct RampSweepKind {
    using Params = RampSweepParams;
    using Plan = RampSweepPlan;
    using Sample = std::complex<float>;
    static constexpr const char* kEntryPoint = "GenerateRampSweepWaveform";

    static int plan(const Params& p, const KindCall& call, Plan& plan);
    static NaturalPeriod period(const Params& p, const KindCall& call);
    static bool aboveNyquist(const Params& p, double sampleRate, BandReason& why);
    static int generate(GenSignalClass& obj, const Plan& plan, const KindCall& call, GeneratedWave<Sample>& wave,
                        MadeLoop& made);
    static int loop(GenSignalClass& obj, const Params& p, const Plan& plan, const KindCall& call,
                    const NaturalPeriod& period, GeneratedWave<Sample>& wave, MadeLoop& made);
};
