// Band-limited complex white Gaussian noise: N + 127 raw samples from the
// Gaussian source (real part first), filtered by a 128-tap Hamming-windowed
// sinc so that every output sample is a full-length weighted sum (no start-up
// transient). In the exact loop mode the duration must span whole samples and
// N draws are filtered circularly by the same filter, so that the band holds
// across the seam: output j sums taps k over raw sample (j + k) mod N, in the
// filter's own order. With the handle's noise source on the channel, the
// draws in either mode come from the counter-based generator under the
// channel seed instead (raw sample i from counter index i).
#pragma once

#include <complex>

#include "bandReason.h"
#include "generatedWave.h"
#include "kindCall.h"
#include "naturalPeriod.h"
#include "wrapperGenSignalWave.h"

class GenSignalClass;

struct AwgnPlan {
    int samples;    // N = floor(duration * sampleRate)
    double cutoff;  // bandwidth / sampleRate, at most 0.5
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planAwgn(const AWGNParams& p, double sampleRate, AwgnPlan& plan);

struct AwgnKind {
    using Params = AWGNParams;
    using Plan = AwgnPlan;
    using Sample = std::complex<float>;
    static constexpr const char* kEntryPoint = "GenerateAWGNWaveform";

    static int plan(const Params& p, const KindCall& call, Plan& plan);
    static NaturalPeriod period(const Params& p, const KindCall& call);
    static bool aboveNyquist(const Params& p, double sampleRate, BandReason& why);
    static int generate(GenSignalClass& obj, const Plan& plan, const KindCall& call, GeneratedWave<Sample>& wave,
                        MadeLoop& made);
    static int loop(GenSignalClass& obj, const Params& p, const Plan& plan, const KindCall& call,
                    const NaturalPeriod& period, GeneratedWave<Sample>& wave, MadeLoop& made);
};
