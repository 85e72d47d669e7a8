// Pulse shaping from the points to the final samples in one parallel region,
// without the zero-stuffed train and without a full-length intermediate:
// each block of outputs shapes just the stretch it needs (polyphaseFilter.h)
// and, when resampling, hands that stretch to the Farrow loop
// (farrowKernels.h). The result has the same bits as building the train,
// conv2_complex, the cyclic delay of the quadrature part and FarrowInterp,
// for any thread count.
#pragma once

#include <complex>

struct ShapingJob {
    const std::complex<float>* points;  // one per symbol
    int symbols;                        // the train holds symbols * sps samples
    int sps;                            // at least 1
    const float* taps;
    int tapCount;  // 1 ... symbols * sps: L = symbols * sps - tapCount + 1 shaped samples
    // Quadrature delay, 0 <= delay < L: shaped sample i keeps its real part
    // and takes the imaginary part of shaped sample (i + L - delay) % L.
    int delay;
    bool resample;  // bring the L samples from inRate to outRate
    double outRate, inRate;
};

// Number of samples shapeAndResample writes: L, or farrowOutputLength(L,
// outRate, inRate) when resampling (-1 when the rates do not allow it).
int shapedLength(const ShapingJob& job);

// Writes shapedLength(job) samples to `out`; returns that count, or -1 for
// a job shapedLength refuses, or -3 with the reason when its working memory
// cannot be had (`out` then untouched).
int shapeAndResample(const ShapingJob& job, std::complex<float>* out);
