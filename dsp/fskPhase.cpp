// Two steps in one parallel region, with one barrier between them (two
// from three threads on). Each thread computes g for its own contiguous
// chunk of outputs, block by block, and parks it in the real parts of its
// outputs; the first thread also runs the phase sum over its chunk as it
// goes. The running sum is sequential by definition, so after the barrier
// each later thread carries that sum on over the chunks between the first
// and its own (the same additions in the same order, so the same bits),
// then integrates its chunk and replaces g by the sample.
#include "fskPhase.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "buffer.h"
#include "farrow.h"
#include "farrowKernels.h"
#include "polyphaseFilter.h"
#include "rangeChecks.h"
#include "sharedCores.h"

namespace {

using C = std::complex<float>;

constexpr int64_t kBlock = 4096;
constexpr int64_t kParallelMin = 1 << 14;
constexpr int kMaxTeam = 64;
// Above this step ratio shaping every sample between two outputs costs
// more than shaping, for each output on its own, just the four it mixes.
constexpr double kSparseRatio = 16;

int64_t shapedCount(const FskJob& job) { return static_cast<int64_t>(job.symbols) * job.sps - job.tapCount + 1; }

// Outputs per block: g of one block, and the window of shaped samples its
// outputs read, fit a thread's scratch (see scratchPerThread).
int64_t blockFor(double r) { return std::max<int64_t>(1, std::min<int64_t>(kBlock, kBlock / r)); }

// Floats a thread works in: g of one block, then the resampler's window.
int64_t windowFor(double r) { return farrowSpanBound(r, r > kSparseRatio ? 1 : blockFor(r)); }
int64_t scratchPerThread(double r) { return blockFor(r) + windowFor(r); }

class Frequencies {
public:
    // `scratch`: scratchPerThread(r) floats of this thread's own.
    Frequencies(const FskJob& job, const StuffedFilter& filter, int L, double r, float* scratch)
        : levels_(job.levels), filter_(filter), L_(L), r_(r), g_(scratch), window_(scratch + blockFor(r)) {}

    // g[first, last) into the real parts of out[first, last). With `sum`,
    // also adds g[first] ... g[last - 1] to it in that order.
    void operator()(int64_t first, int64_t last, C* out, double* sum) {
        const bool sparse = r_ > kSparseRatio;
        for (int64_t a = first; a < last;) {
            const int64_t b = std::min(last, a + blockFor(r_));
            if (!(r_ == 1 && shapedAsResampled(a, b))) {
                if (a == 0) shapeStuffedReal(levels_, filter_, 0, 1, g_);  // output 0 is sample 0, copied
                const int64_t lo = a == 0 ? 1 : a;
                if (sparse) {
                    for (int64_t k = lo; k < b; ++k) resample(k, k + 1, g_ + (k - a));
                } else if (lo < b) {
                    resample(lo, b, g_ + (lo - a));
                }
            }
            for (int64_t k = a; k < b; ++k) out[k] = {g_[k - a], 0.0f};
            if (sum) {
                double s = *sum;
                for (int64_t k = a; k < b; ++k) s += g_[k - a];
                *sum = s;
            }
            a = b;
        }
    }

private:
    // At a step of exactly one sample every output sits on a shaped sample
    // (mu = 0, weights 0, 1, 0, 0) and the resampler hands that sample on,
    // up to the sign of a zero - which the phase sum cannot see: it starts
    // at +0, and x + -0 is x. A non-finite sample would meet the zero
    // weights as NaN, so a block holding one takes the resampler's way.
    bool shapedAsResampled(int64_t first, int64_t last) {
        shapeStuffedReal(levels_, filter_, first, last, g_);
        uint32_t nonFinite = 0;  // an exponent of all ones
        for (int64_t k = 0; k < last - first; ++k) {
            uint32_t bits;
            std::memcpy(&bits, &g_[k], sizeof bits);
            nonFinite |= (~bits & 0x7f800000u) == 0;
        }
        return !nonFinite;
    }

    void resample(int64_t first, int64_t last, float* to) {
        const InputSpan span = farrowInputSpan(L_, r_, first, last);
        shapeStuffedReal(levels_, filter_, span.first, span.last, window_);
        farrowRange(window_, span.first, L_, r_, first, last, to);
    }

    const float* levels_;
    StuffedFilter filter_;
    int L_;
    double r_;
    float* g_;
    float* window_;
};

// The samples of out[first, last), whose real parts hold g, for a phase sum
// of `sum` before `first`.
void modulate(int64_t first, int64_t last, double c, double sum, C* out) {
    for (int64_t k = first; k < last; ++k) {
        sum += out[k].real();
        const double phi = c * sum;
        out[k] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }
}

}  // namespace

int fskLength(const FskJob& job) {
    const int64_t L = shapedCount(job);
    if (L < 1 || L >= kMaxSamples) return -1;
    return farrowOutputLength(static_cast<int>(L), job.outRate, job.inRate);
}

int fskModulate(const FskJob& job, C* out) {
    const int K = fskLength(job);
    if (K < 1) return K;
    const int L = static_cast<int>(shapedCount(job));
    const double r = job.inRate / job.outRate;
    const StuffedFilter filter = stuffedFilter(job.taps, job.tapCount, job.sps);
    const int team = K >= kParallelMin ? std::min(availableTeam(), kMaxTeam) : 1;
    // Every thread's scratch exists before the region starts: nothing in it
    // allocates, so nothing in it can fail.
    const int64_t perThread = scratchPerThread(r);
    const size_t scratchCount = static_cast<size_t>(perThread) * team;
    Buffer<float> scratch(scratchCount);
    if (!scratch) return outOfMemory<float>(-3, scratchCount, "FSK modulator's working windows");
    double firstChunkSum = 0;
#pragma omp parallel num_threads(team) if (team > 1)
    {
        const int t = omp_get_thread_num(), count = omp_get_num_threads();
        auto chunkStart = [&](int u) { return static_cast<int64_t>(K) * u / count; };
        const int64_t first = chunkStart(t), last = chunkStart(t + 1);
        Frequencies frequencies(job, filter, L, r, scratch.get() + perThread * t);
        // Only later threads need the sum over the first chunk.
        frequencies(first, last, out, t == 0 && count > 1 ? &firstChunkSum : nullptr);
#pragma omp barrier
        double start = 0;
        if (t > 0) {
            start = firstChunkSum;
            for (int64_t k = chunkStart(1); k < first; ++k) start += out[k].real();
        }
        // From the third thread on, chunks another thread is about to
        // modulate were read above: all must be read first.
        if (count > 2) {
#pragma omp barrier
        }
        modulate(first, last, job.phaseStep, start, out);
    }
    return K;
}
