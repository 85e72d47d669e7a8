#include "splitDft.h"

#include <omp.h>

#include <cmath>
#include <cstdlib>

#include "mathConstants.h"

namespace {

constexpr int64_t kSmallestFactor = 64;
constexpr int64_t kColumnGroup = 16;  // columns gathered at once: whole cache lines of each row
constexpr int64_t kFineBits = 15;
constexpr int64_t kFine = int64_t(1) << kFineBits;

}  // namespace

int SplitDft::plan(int64_t n, DftDirection direction, std::complex<float>* x, int team) {
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
    if (!split_) {
        // FFTW ends the process when its own memory runs out: what a length
        // with a large prime factor may take is tried first.
        void* probe = std::malloc(static_cast<size_t>(n) * 2 * sizeof(std::complex<float>));
        if (!probe)
            return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(n) * 2, "transform's working memory");
        std::free(probe);
        if (!whole_.plan(static_cast<int>(n), x, x, direction))
            return refuse(-3, "the transform of %lld points could not be planned", static_cast<long long>(n));
        return 0;
    }
    const double sign = direction == DftDirection::backward ? 1.0 : -1.0;
    const int64_t coarseCount = n / kFine + 1;
    fine_ = Buffer<std::complex<double>>(static_cast<size_t>(kFine < n ? kFine : n));
    coarse_ = Buffer<std::complex<double>>(static_cast<size_t>(coarseCount));
    columnScratch_ = Buffer<std::complex<float>>(static_cast<size_t>(team) * kColumnGroup * rows_);
    if (!fine_ || !coarse_ || !columnScratch_)
        return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(team) * kColumnGroup * rows_,
                                                "transform's columns");
    auto unit = [&](int64_t v) {
        double s, c;
        ::sincos(kTwoPi * static_cast<double>(v) / static_cast<double>(n), &s, &c);
        return std::complex<double>(c, sign * s);
    };
    for (size_t b = 0; b < fine_.size(); ++b) fine_[b] = unit(static_cast<int64_t>(b));
    for (int64_t a = 0; a < coarseCount; ++a) coarse_[static_cast<size_t>(a)] = unit((a * kFine) % n);
    if (!rowDft_.plan(static_cast<int>(columns_), x, x, direction) ||
        !columnDft_.plan(static_cast<int>(rows_), columnScratch_.get(), columnScratch_.get(), direction))
        return refuse(-3, "the transforms of %lld and %lld points could not be planned",
                      static_cast<long long>(columns_), static_cast<long long>(rows_));
    return 0;
}

int64_t SplitDft::binSlot(int64_t k) const {
    if (!split_) return k;
    if (direction_ == DftDirection::backward) return (k % rows_) * columns_ + k / rows_;
    return k / rows_ + columns_ * (k % rows_);
}

int64_t SplitDft::slotBin(int64_t slot) const {
    if (!split_) return slot;
    if (direction_ == DftDirection::backward) return (slot / columns_) + rows_ * (slot % columns_);
    return (slot / columns_) + rows_ * (slot % columns_);
}

std::complex<float> SplitDft::twiddle(int64_t row, int64_t column) const {
    const int64_t v = row * column;  // below n
    const std::complex<double> t =
        coarse_[static_cast<size_t>(v >> kFineBits)] * fine_[static_cast<size_t>(v & (kFine - 1))];
    return {static_cast<float>(t.real()), static_cast<float>(t.imag())};
}

void SplitDft::rowPass(std::complex<float>* x, bool withTwiddle) const {
    const int64_t rows = rows_, columns = columns_;
#pragma omp parallel for schedule(static) num_threads(team_) if (team_ > 1)
    for (int64_t r = 0; r < rows; ++r) {
        std::complex<float>* row = x + r * columns;
        rowDft_.execute(row, row);
        if (withTwiddle)
            for (int64_t c = 0; c < columns; ++c) row[c] *= twiddle(r, c);
    }
}

void SplitDft::columnPass(std::complex<float>* x, bool withTwiddle) const {
    const int64_t rows = rows_, columns = columns_;
    const int64_t groups = (columns + kColumnGroup - 1) / kColumnGroup;
#pragma omp parallel for schedule(static) num_threads(team_) if (team_ > 1)
    for (int64_t g = 0; g < groups; ++g) {
        std::complex<float>* tmp =
            columnScratch_.get() + static_cast<int64_t>(omp_get_thread_num()) * kColumnGroup * rows;
        const int64_t c0 = g * kColumnGroup;
        const int64_t width = columns - c0 < kColumnGroup ? columns - c0 : kColumnGroup;
        for (int64_t r = 0; r < rows; ++r)
            for (int64_t j = 0; j < width; ++j) tmp[j * rows + r] = x[r * columns + c0 + j];
        for (int64_t j = 0; j < width; ++j) {
            std::complex<float>* col = tmp + j * rows;
            columnDft_.execute(col, col);
            if (withTwiddle)
                for (int64_t r = 0; r < rows; ++r) col[r] *= twiddle(r, c0 + j);
        }
        for (int64_t r = 0; r < rows; ++r)
            for (int64_t j = 0; j < width; ++j) x[r * columns + c0 + j] = tmp[j * rows + r];
    }
}

void SplitDft::execute(std::complex<float>* x) const {
    if (!split_) {
        whole_.execute(x, x);
        return;
    }
    if (direction_ == DftDirection::backward) {
        rowPass(x, true);
        columnPass(x, false);
    } else {
        columnPass(x, true);
        rowPass(x, false);
    }
}
