// The tapped delay line: y[m] = sum over taps k of h_k[m] x[m - d_k], the
// delays circular and band-limited (fractionalDelay.h), the gains the
// taps' fading processes (tapGains.h), taps summed in their order. Works
// in blocks of kGainBlock samples, each on one thread.
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"
#include "delayLine.h"
#include "fractionalDelay.h"
#include "tapGains.h"
#include "wrapperGenSignalWave.h"

class MultipathFading {
public:
    // 0, or -3 with the reason.
    int plan(const GenSignalChannel& channel, int64_t n, double sampleRate, int team);

    // out = the faded input, whose rails are re and im (n floats each);
    // returns the mean over the buffer of sum_k |h_k[m]|^2. `partial`:
    // passBlocks(n) doubles.
    double apply(const float* re, const float* im, std::complex<float>* out, double* partial) const;

    const DelayLine& line() const { return line_; }
    const TapGains& gains() const { return gains_; }

private:
    DelayLine line_;
    FractionalDelay delays_[kMaxDelayLineTaps];
    TapGains gains_;
    int64_t n_ = 0;
    int team_ = 1;
    // Per thread, in floats: the delay's window, then the delayed block, the
    // gains and the sum, each as real and imaginary parts, and the gains' powers.
    static constexpr int64_t kThreadFloats = kGainBlock + kDelayTaps + 7 * kGainBlock;
    Buffer<float> scratch_;
};
