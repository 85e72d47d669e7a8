// The carrier's turn, e^(i (2 pi f m / fs + phi0)) for sample m, block by
// block: each block's first phasor from its own angle, the rest by one
// product with a table of the turns within a block, so that any block is
// the same on any thread. When f is a whole number k of cycles over the n
// samples the angles are exact integers, (k m mod n) / n of a turn, and the
// buffer's last sample turns on into its first.
#pragma once

#include <complex>
#include <cstdint>

constexpr int kRotationBlock = 256;

class CarrierOffset {
public:
    // `wholeCycles`: k when f = k fs / n exactly (closes), else ignored.
    void plan(double cfoHz, double phaseDeg, int64_t n, double sampleRate, bool closes, int64_t wholeCycles);
    bool identity() const { return identity_; }
    // The phasors of samples [first, first + count), count at most kRotationBlock.
    void block(int64_t first, int count, std::complex<float>* out) const;

private:
    std::complex<double> startOf(int64_t first) const;

    bool identity_ = true, closes_ = false;
    int64_t n_ = 1, cycles_ = 0;  // k mod n, when it closes
    double cyclesPerSample_ = 0, phase_ = 0;
    std::complex<double> table_[kRotationBlock];
};
