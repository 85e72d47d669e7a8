#include "multipathFading.h"

#include <omp.h>

#include "blockPasses.h"
#include "cpuDispatch.h"

namespace {

// a += h z and p += |h|^2 for one tap.
void addTap(const float* zr, const float* zi, const float* hr, const float* hi, int count, float* ar, float* ai,
            float* p) {
    // Distinct arrays: restrict lets both kernel sets take whole vectors.
    auto body = [](const float* __restrict zr, const float* __restrict zi, const float* __restrict hr,
                   const float* __restrict hi, int count, float* __restrict ar, float* __restrict ai,
                   float* __restrict p) GENSIGNAL_KERNEL_BODY {
        for (int u = 0; u < count; ++u) {
            ar[u] += hr[u] * zr[u] - hi[u] * zi[u];
            ai[u] += hr[u] * zi[u] + hi[u] * zr[u];
            p[u] += hr[u] * hr[u] + hi[u] * hi[u];
        }
    };
    runForKernels(body, zr, zi, hr, hi, count, ar, ai, p);
}

}  // namespace

int MultipathFading::plan(const GenSignalChannel& c, int64_t n, double sampleRate, int team) {
    line_ = delayLineOf(c, sampleRate);
    n_ = n;
    team_ = team;
    for (int k = 0; k < line_.count; ++k) delays_[k] = designDelay(line_.taps[k].delay, n);
    if (int rc = gains_.plan(line_, c.dopplerHz, n, sampleRate, c.seed, team)) return rc;
    scratch_ = Buffer<float>(static_cast<size_t>(team) * kThreadFloats);
    if (!scratch_) return outOfMemory<float>(-3, static_cast<size_t>(team) * kThreadFloats, "delay line");
    return 0;
}

double MultipathFading::apply(const float* re, const float* im, std::complex<float>* out, double* partial) const {
    const int64_t n = n_;
    forEachBlock(n, team_, [&](int64_t first, int64_t last, int64_t b) {
        const int thread = omp_get_thread_num();
        float* window = scratch_.get() + thread * kThreadFloats;
        float* zr = window + kGainBlock + kDelayTaps;
        float* zi = zr + kGainBlock;
        float* hr = zi + kGainBlock;
        float* hi = hr + kGainBlock;
        float* ar = hi + kGainBlock;
        float* ai = ar + kGainBlock;
        float* hp = ai + kGainBlock;
        double power = 0;
        for (int64_t at = first; at < last; at += kGainBlock) {
            const int count = static_cast<int>(last - at < kGainBlock ? last - at : kGainBlock);
            for (int u = 0; u < count; ++u) ar[u] = ai[u] = hp[u] = 0;
            for (int k = 0; k < line_.count; ++k) {
                const float* dr = delayBlock(delays_[k], re, n, at, count, window, zr);
                const float* di = delayBlock(delays_[k], im, n, at, count, window, zi);
                gains_.block(k, at, count, hr, hi, thread);
                addTap(dr, di, hr, hi, count, ar, ai, hp);
            }
            for (int u = 0; u < count; ++u) {
                out[at + u] = {ar[u], ai[u]};
                power += hp[u];
            }
        }
        partial[b] = power;
    });
    return sumInOrder(partial, passBlocks(n)) / static_cast<double>(n);
}
