// Continuous-phase FSK from the frequency levels to the final samples, in
// one parallel region and without full-length intermediates: the levels'
// zero-stuffed train (sps samples per level) filtered with the frequency
// pulse (polyphaseFilter.h), brought from inRate to outRate (farrowKernels.h)
// giving g[0 ... K), then integrated: out[k] = (cos(c A), sin(c A)) with
// A = g[0] + g[1] + ... + g[k] summed in double in that order. The same bits
// as conv2_real on the train, FarrowInterp_real and the running sum, for any
// thread count.
#pragma once

#include <complex>

struct FskJob {
    const float* levels;  // one per symbol
    int symbols;
    int sps;
    const float* taps;  // the frequency pulse, already normalised
    int tapCount;       // 1 ... symbols * sps
    double outRate, inRate;
    double phaseStep;  // c: radians per unit of the running sum
};

// K, the number of samples fskModulate writes; -1 when the filter is longer
// than the train or the rates do not allow resampling.
int fskLength(const FskJob& job);

// Writes fskLength(job) samples to `out`; returns that count, or -1 for a
// job fskLength refuses, or -3 with the reason when its working memory
// cannot be had (`out` then untouched).
int fskModulate(const FskJob& job, std::complex<float>* out);
