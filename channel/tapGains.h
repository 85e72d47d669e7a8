// The complex gain of each fading tap over an n-sample loop of duration T:
// a sum of sinusoids on the lines m / T, |m| <= M = floor(fD T), each line
// with an independent complex Gaussian amplitude whose mean power is the
// Jakes (Clarke) spectrum's share of the line's interval (the outermost
// lines reaching to +-fD), plus the tap's line-of-sight part on the 0 Hz
// line with a random phase. The gains are periodic in n by construction.
// Static taps (fD = 0), and taps whose loop holds less than one Doppler
// period, keep one random complex gain.
//
// The sum is evaluated exactly every D samples (D a power of two, 2 pi fD D
// / sampleRate at most 0.2) from integer angles, and by four-point
// Lagrange interpolation in between (about -90 dB), block by block, so that
// any block is the same on any thread.
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"
#include "delayLine.h"

constexpr int kGainBlock = 256;  // samples per block; a multiple of every grid step

class TapGains {
public:
    // 0, or -3 with the reason when the tables cannot be had.
    int plan(const DelayLine& line, double dopplerHz, int64_t n, double sampleRate, uint64_t seed, int team);

    int halfLines() const { return halfLines_; }  // M: the lines are m / T for |m| <= M
    int gridStep() const { return step_; }
    bool constant() const { return halfLines_ == 0; }
    std::complex<float> constantGain(int tap) const;

    // Gains of `tap` for samples [first, first + count), real parts into
    // re and imaginary parts into im; first a multiple of kGainBlock, count
    // at most kGainBlock; `thread` below the team given to plan() picks the
    // working memory.
    void block(int tap, int64_t first, int count, float* re, float* im, int thread) const;

private:
    int64_t n_ = 1;
    int taps_ = 0;
    int halfLines_ = 0;
    int step_ = 1;
    Buffer<std::complex<double>> amplitude_;  // tap k, line m at k (2M + 1) + m + M
    Buffer<std::complex<double>> stepPower_;  // e^(2 pi i m D / n), m = 0 ... M
    float weight_[4][kGainBlock] = {};        // the Lagrange weights of the points at -1, 0, 1, 2, offset r < D
    // Per thread: grid points (double and float) and line phasors.
    int64_t points_ = 0;
    Buffer<std::complex<double>> grid_, phasor_;
    Buffer<std::complex<float>> gridFloat_;
};

// The grid step D for a maximum Doppler at a sample rate.
int gainGridStep(double dopplerHz, double sampleRate);

// Mean power of the Jakes spectrum of maximum Doppler fD in the interval
// (lo, hi) Hz (clipped to +-fD): (asin(hi / fD) - asin(lo / fD)) / pi.
double jakesShare(double lo, double hi, double dopplerHz);
