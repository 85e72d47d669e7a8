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

#include "generatedWave.h"
#include "kindUnit.h"
#include "wrapperGenSignalWave.h"

struct AwgnPlan {
    int samples;    // N = floor(duration * sampleRate)
    double cutoff;  // bandwidth / sampleRate, at most 0.5
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planAwgn(const AWGNParams& p, double sampleRate, AwgnPlan& plan);

using AwgnKind = KindUnit<AWGNParams, AwgnPlan, std::complex<float>>;
template <>
inline const char* const AwgnKind::kEntryPoint = "GenerateAWGNWaveform";
