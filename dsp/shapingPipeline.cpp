#include "shapingPipeline.h"

#include <omp.h>

#include <algorithm>
#include <cstdint>

#include "buffer.h"
#include "farrow.h"
#include "farrowKernels.h"
#include "polyphaseFilter.h"
#include "rangeChecks.h"
#include "shareClaims.h"
#include "sharedCores.h"

namespace {

using C = std::complex<float>;

// Outputs per block: small enough that a block's stretch stays in cache.
constexpr int64_t kBlock = 4096;
// Below this many outputs a second thread costs more than it saves.
constexpr int64_t kParallelMin = 1 << 14;
// Above this step ratio shaping every sample between two outputs costs
// more than shaping, for each output on its own, just the four it mixes.
constexpr double kSparseRatio = 16;

int64_t shapedCount(const ShapingJob& job) { return static_cast<int64_t>(job.symbols) * job.sps - job.tapCount + 1; }

// Output blocks of the resampling loop: output k reads shaped samples
// around k * r, so a block needs a stretch of about block * r of them, and
// blocks shrink as r grows. Beyond kSparseRatio each output of a block
// shapes its own four.
int64_t resampleBlock(double r) {
    return std::max<int64_t>(1, std::min<int64_t>(kBlock, static_cast<int64_t>(kBlock / r)));
}

// What each thread works in, allocated before the parallel region: the
// resampler's window of shaped samples and, with a quadrature delay, the
// stretch that serves both parts (at most twice the longest stretch).
struct Scratch {
    int64_t window, stretch;
    int64_t perThread() const { return window + stretch; }
};

Scratch scratchFor(const ShapingJob& job) {
    int64_t longest = kBlock;  // without resampling, a stretch is a block
    int64_t window = 0;
    if (job.resample) {
        const double r = job.inRate / job.outRate;
        window = longest = farrowSpanBound(r, r > kSparseRatio ? 1 : resampleBlock(r));
    }
    return {window, job.delay > 0 ? 2 * longest : 0};
}

class Stretches {
public:
    // `scratch`: room for 2 * (hi - lo) samples of any stretch asked for,
    // when the job has a quadrature delay.
    Stretches(const ShapingJob& job, const StuffedFilter& filter, int64_t L, C* scratch)
        : points_(job.points), filter_(filter), L_(L), delay_(job.delay), scratch_(scratch) {}

    // Shaped samples [lo, hi) with the quadrature delay applied, into dst:
    // the real parts of [lo, hi), the imaginary parts of [lo - h, hi - h).
    void operator()(int64_t lo, int64_t hi, C* dst) {
        const int64_t h = delay_;
        if (h == 0) {
            shape(lo, hi, dst);
            return;
        }
        if (h < hi - lo) {
            // One stretch [lo - h, hi) serves both: the imaginary parts are
            // its first hi - lo samples, the real parts its last.
            C* s = scratch_;
            shapeCyclic(lo - h, hi, s);
            for (int64_t i = 0; i < hi - lo; ++i) dst[i] = {s[i + h].real(), s[i].imag()};
        } else {
            // A delay longer than the stretch: two stretches of its length.
            C* s = scratch_;
            shapeCyclic(lo - h, hi - h, s);
            shape(lo, hi, dst);
            for (int64_t i = 0; i < hi - lo; ++i) dst[i] = {dst[i].real(), s[i].imag()};
        }
    }

private:
    void shape(int64_t a, int64_t b, C* to) const { shapeStuffedComplex(points_, filter_, a, b, to); }

    // Shaped samples [a, b), -L <= a <= b <= L, those below 0 taken
    // cyclically from the end of the period.
    void shapeCyclic(int64_t a, int64_t b, C* to) const {
        if (a < 0) {
            const int64_t wrapped = std::min<int64_t>(b, 0) - a;
            shape(L_ + a, L_ + a + wrapped, to);
            to += wrapped;
            a += wrapped;
        }
        shape(a, b, to);
    }

    const C* points_;
    StuffedFilter filter_;
    int64_t L_, delay_;
    C* scratch_;
};

void shapeAll(const ShapingJob& job, const StuffedFilter& filter, int64_t L, C* out, int team, C* scratch,
              int64_t perThread) {
    const int64_t blocks = (L + kBlock - 1) / kBlock;
    // Each thread its own share, in which the conversion finds it; a thread
    // descheduled on a busy machine holds up one block, not a share.
    ShareClaims claims(blocks, team);
#pragma omp parallel num_threads(team) if (team > 1)
    {
        const int t = omp_get_thread_num();
        Stretches stretch(job, filter, L, scratch + perThread * t);
        for (int64_t b; (b = claims.next(t)) >= 0;) {
            const int64_t lo = b * kBlock, hi = std::min(L, lo + kBlock);
            stretch(lo, hi, out + lo);
        }
    }
}

// Outputs [first, last), first >= 1, from the stretch of shaped samples
// they read.
void resampleRange(Stretches& stretch, int64_t L, double r, int64_t first, int64_t last, C* out, C* window) {
    const InputSpan span = farrowInputSpan(static_cast<int>(L), r, first, last);
    stretch(span.first, span.last, window);
    farrowRange(window, span.first, static_cast<int>(L), r, first, last, out);
}

void shapeAndResampleAll(const ShapingJob& job, const StuffedFilter& filter, int64_t L, int total, C* out, int team,
                         C* scratch, const Scratch& room) {
    const double r = job.inRate / job.outRate;
    const bool sparse = r > kSparseRatio;
    const int64_t block = resampleBlock(r);
    const int64_t blocks = (total + block - 1) / block;
    ShareClaims claims(blocks, team);
#pragma omp parallel num_threads(team) if (team > 1)
    {
        const int t = omp_get_thread_num();
        C* const window = scratch + room.perThread() * t;
        Stretches stretch(job, filter, L, window + room.window);
        for (int64_t b; (b = claims.next(t)) >= 0;) {
            const int64_t first = b * block, last = std::min<int64_t>(total, first + block);
            if (first == 0) stretch(0, 1, out);  // output 0 is shaped sample 0, copied
            const int64_t lo = first == 0 ? 1 : first;
            if (sparse) {
                for (int64_t k = lo; k < last; ++k) resampleRange(stretch, L, r, k, k + 1, out + k, window);
            } else if (lo < last) {
                resampleRange(stretch, L, r, lo, last, out + lo, window);
            }
        }
    }
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
    const StuffedFilter filter = stuffedFilter(job.taps, job.tapCount, job.sps);
    // Every thread's scratch exists before the region starts: nothing in it
    // allocates, so nothing in it can fail.
    const int team = total >= kParallelMin ? availableTeam() : 1;
    const Scratch room = scratchFor(job);
    const size_t scratchCount = static_cast<size_t>(room.perThread()) * team;
    Buffer<C> scratch(scratchCount);
    if (!scratch) return outOfMemory<C>(-3, scratchCount, "shaping's working windows");
    if (job.resample)
        shapeAndResampleAll(job, filter, L, total, out, team, scratch.get(), room);
    else
        shapeAll(job, filter, L, out, team, scratch.get(), room.perThread());
    return total;
}
