#include "splitDft.h"

#include <omp.h>

#include <cmath>
#include <cstdlib>

#include "complexProduct.h"
#include "lastError.h"
#include "mathConstants.h"

namespace {

constexpr int64_t kSmallestFactor = 64;
constexpr int64_t kColumnGroup = 16;  // columns gathered at once: whole cache lines of each row
constexpr int64_t kFineBits = 15;
constexpr int64_t kFine = int64_t(1) << kFineBits;

enum TwiddleAt { kNoTwiddle, kTwiddleAfter, kConjugateBefore };

}  // namespace

template <class Real>
int SplitDft<Real>::plan(int64_t n, DftDirection direction, Complex* x, int team, bool withInverse) {
    n_ = n;
    direction_ = direction;
    team_ = team;
    split_ = false;
    int64_t r = static_cast<int64_t>(std::sqrt(static_cast<double>(n)));
    while (r > 1 && n % r != 0) --r;
    const int64_t small = r, large = r > 0 ? n / r : n;
    if (small >= kSmallestFactor) {
        // Backward: R = large rows of C = small (rows first); forward: R = small rows of C = large (columns first).
        rows_ = direction == DftDirection::backward ? large : small;
        columns_ = n / rows_;
        split_ = true;
    }
    const bool inverse = withInverse && direction == DftDirection::forward;
    if (!split_) {
        // FFTW ends the process when its own memory runs out: what a length
        // with a large prime factor may take is tried first.
        void* probe = std::malloc(static_cast<size_t>(n) * 2 * sizeof(Complex));
        if (!probe) return n_ = 0, outOfMemory<Complex>(-3, static_cast<size_t>(n) * 2, "transform's working memory");
        std::free(probe);
        if (!whole_.plan(static_cast<int>(n), x, x, direction) ||
            (inverse && !wholeBack_.plan(static_cast<int>(n), x, x, DftDirection::backward)))
            return n_ = 0, refuse(-3, "the transform of %lld points could not be planned", static_cast<long long>(n));
        return 0;
    }
    const double sign = direction == DftDirection::backward ? 1.0 : -1.0;
    const int64_t coarseCount = n / kFine + 1;
    fine_ = Buffer<std::complex<double>>(static_cast<size_t>(kFine < n ? kFine : n));
    coarse_ = Buffer<std::complex<double>>(static_cast<size_t>(coarseCount));
    columnScratch_ = Buffer<Complex>(static_cast<size_t>(team) * kColumnGroup * rows_);
    if (!fine_ || !coarse_ || !columnScratch_)
        return n_ = 0,
               outOfMemory<Complex>(-3, static_cast<size_t>(team) * kColumnGroup * rows_, "transform's columns");
    auto unit = [&](int64_t v) {
        double s, c;
        ::sincos(kTwoPi * static_cast<double>(v) / static_cast<double>(n), &s, &c);
        return std::complex<double>(c, sign * s);
    };
    for (size_t b = 0; b < fine_.size(); ++b) fine_[b] = unit(static_cast<int64_t>(b));
    for (int64_t a = 0; a < coarseCount; ++a) coarse_[static_cast<size_t>(a)] = unit((a * kFine) % n);
    Complex* scratch = columnScratch_.get();
    if (!rowDft_.plan(static_cast<int>(columns_), x, x, direction) ||
        !columnDft_.plan(static_cast<int>(rows_), scratch, scratch, direction) ||
        (inverse && (!rowBack_.plan(static_cast<int>(columns_), x, x, DftDirection::backward) ||
                     !columnBack_.plan(static_cast<int>(rows_), scratch, scratch, DftDirection::backward))))
        return n_ = 0, refuse(-3, "the transforms of %lld and %lld points could not be planned",
                              static_cast<long long>(columns_), static_cast<long long>(rows_));
    return 0;
}

template <class Real>
int64_t SplitDft<Real>::binSlot(int64_t k) const {
    if (!split_) return k;
    if (direction_ == DftDirection::backward) return (k % rows_) * columns_ + k / rows_;
    return k / rows_ + columns_ * (k % rows_);
}

template <class Real>
int64_t SplitDft<Real>::slotBin(int64_t slot) const {
    if (!split_) return slot;
    return (slot / columns_) + rows_ * (slot % columns_);
}

// binSlot(k) is k / R + C (k % R) in either direction (R rows, C
// columns), and k unsplit: k / n + 1 (k % n).
template <class Real>
SplitDft<Real>::BinWalk::BinWalk(const SplitDft& dft, int64_t k)
    : k_(k),
      n_(dft.n_),
      quotient_(k / (dft.split_ ? dft.rows_ : dft.n_)),
      remainder_(k % (dft.split_ ? dft.rows_ : dft.n_)),
      divisor_(dft.split_ ? dft.rows_ : dft.n_),
      stride_(dft.split_ ? dft.columns_ : 1) {}

template <class Real>
typename SplitDft<Real>::Complex SplitDft<Real>::twiddle(int64_t row, int64_t column) const {
    const int64_t v = row * column;  // below n
    const std::complex<double> t =
        times(coarse_[static_cast<size_t>(v >> kFineBits)], fine_[static_cast<size_t>(v & (kFine - 1))]);
    return {static_cast<Real>(t.real()), static_cast<Real>(t.imag())};
}

template <class Real>
void SplitDft<Real>::rowPass(Complex* x, bool withTwiddle, const Dft<Real>& dft) const {
    const int64_t rows = rows_, columns = columns_;
#pragma omp parallel for schedule(static) num_threads(team_) if (team_ > 1)
    for (int64_t r = 0; r < rows; ++r) {
        Complex* row = x + r * columns;
        dft.execute(row, row);
        if (withTwiddle)
            for (int64_t c = 0; c < columns; ++c) row[c] = times(row[c], twiddle(r, c));
    }
}

template <class Real>
void SplitDft<Real>::columnPass(Complex* x, int twiddleAt, const Dft<Real>& dft) const {
    const int64_t rows = rows_, columns = columns_;
    const int64_t groups = (columns + kColumnGroup - 1) / kColumnGroup;
#pragma omp parallel for schedule(static) num_threads(team_) if (team_ > 1)
    for (int64_t g = 0; g < groups; ++g) {
        Complex* tmp = columnScratch_.get() + static_cast<int64_t>(omp_get_thread_num()) * kColumnGroup * rows;
        const int64_t c0 = g * kColumnGroup;
        const int64_t width = columns - c0 < kColumnGroup ? columns - c0 : kColumnGroup;
        // The twiddles go on as the values move, not in passes of their own.
        for (int64_t r = 0; r < rows; ++r) {
            const Complex* from = x + r * columns + c0;
            if (twiddleAt == kConjugateBefore)
                for (int64_t j = 0; j < width; ++j) tmp[j * rows + r] = times(from[j], std::conj(twiddle(r, c0 + j)));
            else
                for (int64_t j = 0; j < width; ++j) tmp[j * rows + r] = from[j];
        }
        for (int64_t j = 0; j < width; ++j) dft.execute(tmp + j * rows, tmp + j * rows);
        for (int64_t r = 0; r < rows; ++r) {
            Complex* to = x + r * columns + c0;
            if (twiddleAt == kTwiddleAfter)
                for (int64_t j = 0; j < width; ++j) to[j] = times(tmp[j * rows + r], twiddle(r, c0 + j));
            else
                for (int64_t j = 0; j < width; ++j) to[j] = tmp[j * rows + r];
        }
    }
}

template <class Real>
void SplitDft<Real>::execute(Complex* x) const {
    if (!split_) {
        whole_.execute(x, x);
        return;
    }
    if (direction_ == DftDirection::backward) {
        rowPass(x, true, rowDft_);
        columnPass(x, kNoTwiddle, columnDft_);
    } else {
        columnPass(x, kTwiddleAfter, columnDft_);
        rowPass(x, false, rowDft_);
    }
}

template <class Real>
void SplitDft<Real>::inverse(Complex* x) const {
    // The forward steps undone in reverse order, each through its backward
    // transform; the twiddles, taken for the forward sign, conjugated.
    if (!split_) {
        wholeBack_.execute(x, x);
        return;
    }
    rowPass(x, false, rowBack_);
    columnPass(x, kConjugateBefore, columnBack_);
}

template class SplitDft<float>;
template class SplitDft<double>;
