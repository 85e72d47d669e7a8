#include "shapedPeriod.h"

#include <omp.h>

#include <algorithm>

#include "periodicResampler.h"
#include "sharedCores.h"

namespace {
constexpr int64_t kBlock = 4096;  // samples shaped per parallel block
}

void ShapedPeriod::shapeCyclic(int64_t a, int64_t b, std::complex<float>* dst) const {
    int64_t r = a % length_;
    if (r < 0) r += length_;
    while (a < b) {
        const int64_t n = std::min(b - a, length_ - r);
        shapeStuffedComplex(points_, filter_, r, r + n, dst);
        dst += n;
        a += n;
        r = 0;
    }
}

int ShapedPeriod::prepare(int64_t outputs, int64_t window, int team) {
    if (length_ <= outputs) {
        const size_t n = static_cast<size_t>(length_);
        period_ = Buffer<std::complex<float>>(n);
        if (!period_) return outOfMemory<std::complex<float>>(-3, n, "shaped period");
        Buffer<float> delayed(delay_ > 0 ? n : 0);
        if (delay_ > 0 && !delayed) return outOfMemory<float>(-3, n, "delayed quadrature");
        std::complex<float>* p = period_.get();
        const int64_t blocks = (length_ + kBlock - 1) / kBlock;
#pragma omp parallel for schedule(static) num_threads(availableTeam()) if (length_ >= 4 * kBlock)
        for (int64_t k = 0; k < blocks; ++k)
            shapeStuffedComplex(points_, filter_, k * kBlock, std::min(length_, (k + 1) * kBlock), p + k * kBlock);
        if (delay_ > 0) {
            for (int64_t i = 0; i < length_; ++i) delayed[i] = p[(i + length_ - delay_ % length_) % length_].imag();
            for (int64_t i = 0; i < length_; ++i) p[i] = {p[i].real(), delayed[i]};
        }
        return 0;
    }
    window_ = window;
    if (delay_ > 0) {
        const size_t n = static_cast<size_t>(window) * static_cast<size_t>(team);
        scratch_ = Buffer<std::complex<float>>(n);
        if (!scratch_) return outOfMemory<std::complex<float>>(-3, n, "delayed quadrature windows");
    }
    return 0;
}

void ShapedPeriod::operator()(int64_t a, int64_t b, std::complex<float>* dst) const {
    if (period_) {
        copyPeriodic(period_.get(), length_, a, b, dst);
        return;
    }
    shapeCyclic(a, b, dst);
    if (delay_ > 0) {
        std::complex<float>* s = scratch_.get() + window_ * omp_get_thread_num();
        shapeCyclic(a - delay_, b - delay_, s);
        for (int64_t i = 0; i < b - a; ++i) dst[i] = {dst[i].real(), s[i].imag()};
    }
}
