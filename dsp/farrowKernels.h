// The Farrow resampler's loop over a range of outputs, for callers that
// resample in blocks or share the outputs among threads. Output k (k >= 1)
// sits at input position t = k * r in double, with base b = floor(t) and
// fraction mu = (t - (b + 1)) + 1; inputs outside 0 ... n-1 count as zero.
// Output 0 is the first input, copied; these routines start at k >= 1.
//
// The input is given as a window: window[i - windowFirst] is input sample
// i, and it must cover every sample the range reads inside 0 ... n-1, i.e.
// from floor(first * r) - 1 to floor((last - 1) * r) + 2 (see
// farrowInputSpan). Outputs go to out[0 ... last - first). Every k in the
// range must lie below farrowOutputLength(n, ...), so that b < n.
#pragma once

#include <complex>
#include <cstdint>

struct InputSpan {
    int64_t first, last;  // input samples [first, last) within 0 ... n-1
};

// The input samples that outputs [first, last) read.
InputSpan farrowInputSpan(int n, double r, int64_t first, int64_t last);

// The most input samples that `outputs` consecutive outputs read at the
// step r, for sizing a window before the outputs are known.
int64_t farrowSpanBound(double r, int64_t outputs);

void farrowRange(const std::complex<float>* window, int64_t windowFirst, int n, double r, int64_t first, int64_t last,
                 std::complex<float>* out);
void farrowRange(const float* window, int64_t windowFirst, int n, double r, int64_t first, int64_t last, float* out);
