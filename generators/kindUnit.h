// The stages the frame calls on every kind, in this order: the plan, the
// natural period, the Nyquist rule, then the defined waveform or the loop.
// A kind is one instance, named for its record, its plan and the sample
// type its stages produce; its unit (generators/kinds/<kind>.cpp) defines
// the members for that instance.
#pragma once

#include "bandReason.h"
#include "generatedWave.h"
#include "kindCall.h"
#include "naturalPeriod.h"

class GenSignalClass;

template <class ParamsT, class PlanT, class SampleT>
struct KindUnit {
    using Params = ParamsT;
    using Plan = PlanT;
    using Sample = SampleT;
    static const char* const kEntryPoint;  // the entry point, for its refusals

    static int plan(const Params& p, const KindCall& call, Plan& plan);
    static NaturalPeriod period(const Params& p, const KindCall& call);
    static bool aboveNyquist(const Params& p, double sampleRate, BandReason& why);
    static int generate(GenSignalClass& obj, const Plan& plan, const KindCall& call, GeneratedWave<Sample>& wave,
                        MadeLoop& made);
    static int loop(GenSignalClass& obj, const Params& p, const Plan& plan, const KindCall& call,
                    const NaturalPeriod& period, GeneratedWave<Sample>& wave, MadeLoop& made);
};
