#include "shapingPipeline.h"

#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "farrowKernels.h"
#include "function.h"
#include "polyphaseFilter.h"

namespace {

using C = std::complex<float>;

// Outputs per block: small enough that a block's stretch stays in cache.
constexpr int64_t kBlock = 4096;
// Below this many outputs a second thread costs more than it saves.
constexpr int64_t kParallelMin = 1 << 14;

int64_t shapedCount(const ShapingJob& job) { return static_cast<int64_t>(job.symbols) * job.sps - job.tapCount + 1; }

// Shaped samples [lo, hi) with the quadrature delay applied, into dst.
// `scratch` holds at least hi - lo + delay samples.
void delayedStretch(const ShapingJob& job, int64_t L, int64_t lo, int64_t hi, C* dst, std::vector<C>& scratch) {
    auto shape = [&](int64_t a, int64_t b, C* to) {
        shapeStuffedComplex(job.points, job.sps, job.taps, job.tapCount, a, b, to);
    };
    const int64_t h = job.delay;
    if (h == 0) {
        shape(lo, hi, dst);
        return;
    }
    // The imaginary parts come from [lo - h, hi - h), cyclically: the part
    // below 0 from the end of the shaped signal.
    scratch.resize(static_cast<size_t>(hi - lo + h));
    C* s = scratch.data();
    const int64_t wrapped = std::min(hi, h) - lo;  // outputs whose source wraps, when lo < h
    if (wrapped > 0) {
        shape(L - h + lo, L - h + lo + wrapped, s);
        if (hi > h) shape(0, hi - h, s + wrapped);
    } else {
        shape(lo - h, hi - h, s);
    }
    shape(lo, hi, dst);
    for (int64_t i = 0; i < hi - lo; ++i) dst[i] = {dst[i].real(), s[i].imag()};
}

}  // namespace

int shapedLength(const ShapingJob& job) {
    const int64_t L = shapedCount(job);
    if (L < 1 || L >= kMaxSamples || job.delay < 0 || job.delay >= L) return -1;
    if (!job.resample) return static_cast<int>(L);
    return farrowOutputLength(static_cast<int>(L), job.outRate, job.inRate);
}

int shapeAndResample(const ShapingJob& job, C* out) {
    const int total = shapedLength(job);
    if (total < 1) return total;
    const int64_t L = shapedCount(job);
    if (!job.resample) {
        const int64_t blocks = (L + kBlock - 1) / kBlock;
#pragma omp parallel if (L >= kParallelMin)
        {
            std::vector<C> scratch;
#pragma omp for schedule(static)
            for (int64_t b = 0; b < blocks; ++b) {
                const int64_t lo = b * kBlock, hi = std::min(L, lo + kBlock);
                delayedStretch(job, L, lo, hi, out + lo, scratch);
            }
        }
        return total;
    }
    // Output k reads shaped samples around k * r: a block of outputs needs
    // a stretch of about block * r of them, so blocks shrink as r grows.
    const double r = job.inRate / job.outRate;
    const int64_t block = std::max<int64_t>(1, std::min<int64_t>(kBlock, static_cast<int64_t>(kBlock / r)));
    const int64_t blocks = (total + block - 1) / block;
#pragma omp parallel if (total >= kParallelMin)
    {
        std::vector<C> window, scratch;
#pragma omp for schedule(static)
        for (int64_t b = 0; b < blocks; ++b) {
            // Output 0 is shaped sample 0, copied.
            const int64_t first = b * block, last = std::min<int64_t>(total, first + block);
            const int64_t lo = first == 0 ? 1 : first;
            if (first == 0) delayedStretch(job, L, 0, 1, out, scratch);
            if (lo >= last) continue;
            const InputSpan span = farrowInputSpan(static_cast<int>(L), r, lo, last);
            window.resize(static_cast<size_t>(span.last - span.first));
            delayedStretch(job, L, span.first, span.last, window.data(), scratch);
            farrowRange(window.data(), span.first, static_cast<int>(L), r, lo, last, out + lo);
        }
    }
    return total;
}
