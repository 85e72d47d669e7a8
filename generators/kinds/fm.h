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

#include "bandReason.h"
#include "generatedWave.h"
#include "kindCall.h"
#include "naturalPeriod.h"
#include "wrapperGenSignalWave.h"

class GenSignalClass;

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

struct FmKind {
    using Params = FMModParams;
    using Plan = FmPlan;
    using Sample = std::complex<float>;
    static constexpr const char* kEntryPoint = "GenerateFmWaveform";

    static int plan(const Params& p, const KindCall& call, Plan& plan);
    static NaturalPeriod period(const Params& p, const KindCall& call);
    static bool aboveNyquist(const Params& p, double sampleRate, BandReason& why);
    static int generate(GenSignalClass& obj, const Plan& plan, const KindCall& call, GeneratedWave<Sample>& wave,
                        MadeLoop& made);
    static int loop(GenSignalClass& obj, const Params& p, const Plan& plan, const KindCall& call,
                    const NaturalPeriod& period, GeneratedWave<Sample>& wave, MadeLoop& made);
};
