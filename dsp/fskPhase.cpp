// Three steps in one parallel region. Each thread computes g for its own
// contiguous chunk of outputs, block by block, and parks it in the real
// parts of its outputs. The running sum is sequential by definition, so
// one thread then adds up the chunks in order, noting the sum where each
// chunk starts. Finally each thread runs the sum over its chunk again from
// that start (the same additions in the same order, so the same bits) and
// replaces g by the sample.
#include "fskPhase.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "farrowKernels.h"
#include "function.h"
#include "polyphaseFilter.h"

namespace {

using C = std::complex<float>;

constexpr int64_t kBlock = 4096;
constexpr int64_t kParallelMin = 1 << 14;
constexpr int kMaxTeam = 64;

int64_t shapedCount(const FskJob& job) { return static_cast<int64_t>(job.symbols) * job.sps - job.tapCount + 1; }

// g[first, last) into the real parts of out[first, last).
void frequencies(const FskJob& job, int L, double r, int64_t first, int64_t last, C* out, std::vector<float>& window,
                 std::vector<float>& g) {
    for (int64_t a = first; a < last;) {
        const int64_t b = std::min(last, a + std::max<int64_t>(1, std::min<int64_t>(kBlock, kBlock / r)));
        g.resize(static_cast<size_t>(b - a));
        if (a == 0) {  // output 0 is shaped sample 0, copied
            shapeStuffedReal(job.levels, job.sps, job.taps, job.tapCount, 0, 1, g.data());
        }
        const int64_t lo = a == 0 ? 1 : a;
        if (lo < b) {
            const InputSpan span = farrowInputSpan(L, r, lo, b);
            window.resize(static_cast<size_t>(span.last - span.first));
            shapeStuffedReal(job.levels, job.sps, job.taps, job.tapCount, span.first, span.last, window.data());
            farrowRange(window.data(), span.first, L, r, lo, b, g.data() + (lo - a));
        }
        for (int64_t k = a; k < b; ++k) out[k] = {g[k - a], 0.0f};
        a = b;
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
    const double c = job.phaseStep;
    const int team = K >= kParallelMin ? std::min(omp_get_max_threads(), kMaxTeam) : 1;
    double start[kMaxTeam + 1];
#pragma omp parallel num_threads(team) if (team > 1)
    {
        const int t = omp_get_thread_num(), count = omp_get_num_threads();
        const int64_t first = static_cast<int64_t>(K) * t / count, last = static_cast<int64_t>(K) * (t + 1) / count;
        {
            std::vector<float> window, g;
            frequencies(job, L, r, first, last, out, window, g);
        }
#pragma omp barrier
#pragma omp single
        {
            double sum = 0;
            for (int u = 0; u < count; ++u) {
                start[u] = sum;
                const int64_t a = static_cast<int64_t>(K) * u / count, b = static_cast<int64_t>(K) * (u + 1) / count;
                if (u + 1 < count)
                    for (int64_t k = a; k < b; ++k) sum += out[k].real();
            }
        }
        double sum = start[t];
        for (int64_t k = first; k < last; ++k) {
            sum += out[k].real();
            const double phi = c * sum;
            out[k] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
        }
    }
    return K;
}
