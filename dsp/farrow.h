// The Farrow resampler's output counts, for the callers that size arrays
// and plans from them (the resampler itself is a member of GenSignalClass:
// FarrowInterp, FarrowInterp_real; its loop is in farrowKernels.h).
#pragma once

#include <complex>

// The exact number of samples the Farrow resampler writes for n input
// samples (0 for n = 0), found by its own stop rule: the smallest k >= 1 with
// floor(k * (inRate / outRate)) >= n in double. -1 when a rate is not
// positive and finite, n is negative, or the count would reach kMaxSamples.
// Callers of FarrowInterp size their output arrays to at least this.
int farrowOutputLength(int n, double outRate, double inRate);

// The resampler on arrays its caller has checked and sized: K outputs, K
// from farrowOutputLength(n, outRate, inRate), at the step r = inRate /
// outRate; output k sits at input position k * r. FarrowInterp and
// FarrowInterp_real check their arguments, then run this.
void farrowResample(const std::complex<float>* x, int n, double r, int K, std::complex<float>* y);
void farrowResample(const float* x, int n, double r, int K, float* y);

// How a generator resamples its shaped signal from a symbol- or chip-locked
// rate: the length `shapedLength` samples at `lockedRate` become at
// `sampleRate`, into `outputLength`: 0, or -1 with the reason. `lockedName`
// names the rate in the reason ("symbol-locked", "chip-locked").
int resampledLength(int shapedLength, double sampleRate, double lockedRate, const char* lockedName, int& outputLength);
