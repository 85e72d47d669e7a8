#include "multipathFading.h"

#include <omp.h>

#include "blockPasses.h"

int MultipathFading::plan(const GenSignalChannel& c, int64_t n, double sampleRate, int team) {
    line_ = delayLineOf(c, sampleRate);
    n_ = n;
    team_ = team;
    for (int k = 0; k < line_.count; ++k) delays_[k] = designDelay(line_.taps[k].delay, n);
    if (int rc = gains_.plan(line_, c.dopplerHz, n, sampleRate, c.seed, team)) return rc;
    scratch_ = Buffer<std::complex<float>>(static_cast<size_t>(team) * kThreadSamples);
    if (!scratch_) return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(team) * kThreadSamples, "delay line");
    return 0;
}

double MultipathFading::apply(const std::complex<float>* in, std::complex<float>* out, double* partial) const {
    const int64_t n = n_;
    forEachBlock(n, team_, [&](int64_t first, int64_t last, int64_t b) {
        const int thread = omp_get_thread_num();
        std::complex<float>* mine = scratch_.get() + thread * kThreadSamples;
        std::complex<float>* z = mine;
        std::complex<float>* h = z + kGainBlock;
        std::complex<float>* acc = h + kGainBlock;
        std::complex<float>* window = acc + kGainBlock;
        double power = 0;
        for (int64_t at = first; at < last; at += kGainBlock) {
            const int count = static_cast<int>(last - at < kGainBlock ? last - at : kGainBlock);
            float* a = reinterpret_cast<float*>(acc);
            for (int i = 0; i < 2 * count; ++i) a[i] = 0;
            for (int k = 0; k < line_.count; ++k) {
                delayBlock(delays_[k], in, n, at, count, window, z);
                gains_.block(k, at, count, h, thread);
                const float* zf = reinterpret_cast<const float*>(z);
                const float* hf = reinterpret_cast<const float*>(h);
                for (int u = 0; u < count; ++u) {
                    const float hr = hf[2 * u], hi = hf[2 * u + 1], zr = zf[2 * u], zi = zf[2 * u + 1];
                    a[2 * u] += hr * zr - hi * zi;
                    a[2 * u + 1] += hr * zi + hi * zr;
                    power += static_cast<double>(hr) * hr + static_cast<double>(hi) * hi;
                }
            }
            for (int u = 0; u < count; ++u) out[at + u] = acc[u];
        }
        partial[b] = power;
    });
    return sumInOrder(partial, passBlocks(n)) / static_cast<double>(n);
}
