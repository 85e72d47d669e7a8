// Band-limited resampling of a periodic signal, for the exact loop mode. The
// input is one period at its own rate; output sample m sits at input
// position m * p / q exactly (p / q = input rate / output rate in lowest
// terms, so the positions repeat their fractions every q outputs), and is the
// input filtered there by a Kaiser-windowed sinc whose cut-off is the lower
// of the two Nyquist frequencies: content above the output's Nyquist
// frequency is removed, not folded, and the input's images are removed when
// rising. The filter spans 48 samples of the lower rate (ripple at most
// -76 dB up to 0.9 of that Nyquist frequency, -89 dB RMS over the band, and
// the stopband 76 dB down from 1.1 of it) and is read circularly, so the
// output loops as the input does.
//
// Coefficients are tabulated per fraction r / q when the table stays small,
// otherwise at 1024 / ceil(p / q) + 1 evenly spaced fractions with linear
// interpolation between neighbouring rows (far below 16-bit resolution).
// Each row sums to 1, so the filter keeps the mean exactly to float
// rounding. The same bits with either kernel variant and any thread count.
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"

class PeriodicResampler {
public:
    // Input samples per output sample p / q, in lowest terms. 0, or -3 with
    // the reason when the table cannot be had; -1 when the ratio is beyond
    // what the table can hold.
    int design(int64_t p, int64_t q);

    // The input samples that outputs [first, last) read, first < last:
    // [windowStart(first), windowEnd(last)).
    int64_t windowStart(int64_t first) const;
    int64_t windowEnd(int64_t last) const;

    // Outputs [first, last) from `window`, which holds input sample
    // windowFirst + i at index i and covers what they read.
    void run(const std::complex<float>* window, int64_t windowFirst, int64_t first, int64_t last,
             std::complex<float>* out) const;

    int64_t p() const { return p_; }
    int64_t q() const { return q_; }
    // Multiply-adds per output, for sizing thread teams.
    int64_t costPerOutput() const { return rowTaps_; }

private:
    int64_t floorPosition(int64_t m) const;  // floor(m * p / q)
    int64_t p_ = 1, q_ = 1;
    int64_t halfTaps_ = 0;  // taps at and before the position: base - halfTaps + 1 ... base + halfTaps
    int rowTaps_ = 0;
    bool interpolated_ = false;
    double rowsPerPhase_ = 0;
    int64_t intervals_ = 0;  // interpolated rows: fractions 0, 1/intervals, ..., 1
    Buffer<float> rows_, difference_;
};

// Input samples [a, b) of a signal of period `length` (any integers a <= b)
// from one period held in `period`.
void copyPeriodic(const std::complex<float>* period, int64_t length, int64_t a, int64_t b, std::complex<float>* dst);

// `count` outputs in parallel blocks; `fill(a, b, dst)` writes input samples
// [a, b) (any integers; the input is periodic, b - a at most
// periodicWindow()) and must be safe to call from several threads at once
// (periodicTeam() of them, numbered by omp_get_thread_num()). 0, or -3 with
// the reason when the windows cannot be had.
template <class Fill>
int resamplePeriodic(const PeriodicResampler& resampler, int64_t count, Fill fill, std::complex<float>* out);

#include "periodicResamplerRun.h"
