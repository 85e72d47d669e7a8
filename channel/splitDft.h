// An n-point DFT in single precision, in place, whose work splits into
// independent transforms when n = R C with both factors at least 64: C of
// R points, a twiddle per value, then R of C points (the four-step
// algorithm), each a deterministic FFTW plan (fourierTransform.h) run on
// one thread of the team. Every value's arithmetic is the same at any team
// size, so the result is the same bits on any number of threads. Other
// lengths take one plan of n points on the calling thread.
//
// The time side is in natural order; the frequency side is stored in the
// order the split leaves it, which binSlot() maps.
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"
#include "fourierTransform.h"

class SplitDft {
public:
    // Backward: from the bins (at their slots) to time, e^(+2 pi i j k / n);
    // forward: from time to the bins, e^(-2 pi i j k / n); both unscaled.
    // 0, or -3 with the reason when FFTW or the working memory fail.
    // `x` is a representative array for planning (not read), `team` the
    // threads execute() will use.
    int plan(int64_t n, DftDirection direction, std::complex<float>* x, int team);

    // Where bin k lives in the array.
    int64_t binSlot(int64_t k) const;
    // The bin whose value lives at `slot`.
    int64_t slotBin(int64_t slot) const;

    void execute(std::complex<float>* x) const;

private:
    void rowPass(std::complex<float>* x, bool twiddle) const;
    void columnPass(std::complex<float>* x, bool twiddle) const;
    std::complex<float> twiddle(int64_t row, int64_t column) const;

    int64_t n_ = 0, rows_ = 1, columns_ = 1;
    DftDirection direction_ = DftDirection::forward;
    bool split_ = false;
    int team_ = 1;
    Dft<float> whole_, rowDft_, columnDft_;
    // e^(+-2 pi i v / n) for v = b (fine) and v = a * kCoarse (coarse).
    Buffer<std::complex<double>> fine_, coarse_;
    Buffer<std::complex<float>> columnScratch_;  // per thread: kColumnGroup columns of R values
};
