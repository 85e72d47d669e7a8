// Band-limited complex white Gaussian noise: N + 127 raw samples from the
// Gaussian source (real part first), filtered by a 128-tap Hamming-windowed
// sinc so that every output sample is a full-length weighted sum (no start-up
// transient). In the exact loop mode the duration must span whole samples and
// N draws are filtered circularly by the same filter, so that the band holds
// across the seam: output j sums taps k over raw sample (j + k) mod N, in the
// filter's own order.
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
