// An n-point DFT, in place, whose work splits into independent transforms
// when n = R C with both factors at least 64: C of R points, a twiddle per
// value, then R of C points (the four-step algorithm), each a deterministic
// FFTW plan (fourierTransform.h) run on one thread of the team. Every
// value's arithmetic is the same at any team size, so the result is the
// same bits on any number of threads; and each small transform works in
// cache, where one of 10^7 points would stream memory at every stage.
// Other lengths take one plan of n points on the calling thread.
//
// The time side is in natural order; the frequency side is stored in the
// order the split leaves it, which binSlot() maps. A forward plan's slots
// depend on n alone, in either precision.
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"
#include "fourierTransform.h"

template <class Real>
class SplitDft {
public:
    using Complex = std::complex<Real>;

    // Backward: from the bins (at their slots) to time, e^(+2 pi i j k / n);
    // forward: from time to the bins, e^(-2 pi i j k / n); both unscaled.
    // `withInverse` also plans a forward plan's inverse(). 0, or -3 with
    // the reason when FFTW or the working memory fail. `x` is a
    // representative array for planning (not read), `team` the threads
    // execute() will use.
    int plan(int64_t n, DftDirection direction, Complex* x, int team, bool withInverse = false);

    // Where bin k lives in the array.
    int64_t binSlot(int64_t k) const;
    // The bin whose value lives at `slot`.
    int64_t slotBin(int64_t slot) const;
    int64_t size() const { return n_; }
    // A forward plan's slots as rows: bin k lives in row k mod R, at column
    // k / R, slot column + (n / R) row; R = slotRows(), 1 when unsplit.
    int64_t slotRows() const { return split_ && direction_ == DftDirection::forward ? rows_ : 1; }

    // The slots of bins k, k + 1, ... (wrapping at n), in turn, without a
    // division per bin.
    class BinWalk {
    public:
        BinWalk() = default;
        BinWalk(const SplitDft& dft, int64_t k);
        int64_t slot() const { return quotient_ + stride_ * remainder_; }
        // Inline: the scans call it once per bin.
        void next() {
            if (++k_ == n_) {
                k_ = quotient_ = remainder_ = 0;
                return;
            }
            if (++remainder_ == divisor_) {
                remainder_ = 0;
                ++quotient_;
            }
        }

    private:
        int64_t k_ = 0, n_ = 1, quotient_ = 0, remainder_ = 0, divisor_ = 1, stride_ = 1;
    };

    void execute(Complex* x) const;
    // A forward plan's way back: from the bins at its slots to time,
    // e^(+2 pi i j k / n), unscaled.
    void inverse(Complex* x) const;

private:
    void rowPass(Complex* x, bool twiddle, const Dft<Real>& rows) const;
    // Columns through `columns`, their twiddle before (conjugate) or after the transform.
    void columnPass(Complex* x, int twiddleAt, const Dft<Real>& columns) const;
    Complex twiddle(int64_t row, int64_t column) const;

    int64_t n_ = 0, rows_ = 1, columns_ = 1;
    DftDirection direction_ = DftDirection::forward;
    bool split_ = false;
    int team_ = 1;
    Dft<Real> whole_, rowDft_, columnDft_, wholeBack_, rowBack_, columnBack_;
    // e^(+-2 pi i v / n) for v = b (fine) and v = a * kCoarse (coarse).
    Buffer<std::complex<double>> fine_, coarse_;
    Buffer<Complex> columnScratch_;  // per thread: kColumnGroup columns of R values
};

extern template class SplitDft<float>;
extern template class SplitDft<double>;
