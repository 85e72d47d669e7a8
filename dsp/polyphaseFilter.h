// Filtering of a zero-stuffed symbol train without the zeros: the train
// holds point j at index j * sps and +0 everywhere else (symbols * sps
// samples), and output i of its fully overlapped filtering (length
// symbols * sps - m + 1, taps in stored order) is
//   y[i] = sum over the taps k with (i + k) % sps == 0 of x[i + k] * h[k],
// visited in ascending k with the accumulation of the plain convolution:
// the same bits as conv2_complex / conv2_real on the whole train.
//
// Leaving out a term whose input is +0 is exact only while the tap is
// finite (0 * inf is NaN), so taps that are not all finite are filtered the
// plain way, term by term.
//
// Each call computes outputs [first, last) into out[0 ... last - first),
// on the calling thread, so that a generator can shape in blocks and share
// them out among its own threads. Requires 0 <= first <= last <=
// symbols * sps - m + 1. A call costs about (last - first) * (m / sps + 1)
// terms, however small the range or large sps is.
#pragma once

#include <complex>
#include <cstdint>

// The taps with what every call needs to know about them, worked out once
// per filter rather than once per block.
struct StuffedFilter {
    const float* taps;
    int m;        // tap count, at least 1
    int sps;      // samples per point in the train, at least 1
    bool finite;  // every tap finite: the zeros may be left out
};

StuffedFilter stuffedFilter(const float* taps, int m, int sps);

// Complex points, double accumulators with a fused multiply-add per term.
void shapeStuffedComplex(const std::complex<float>* points, const StuffedFilter& filter, int64_t first, int64_t last,
                         std::complex<float>* out);

// Real levels, each product rounded to float and summed in double.
void shapeStuffedReal(const float* levels, const StuffedFilter& filter, int64_t first, int64_t last, float* out);
