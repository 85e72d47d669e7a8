// Band-limited noise in the exact loop mode: a duration of whole samples,
// N draws of the Gaussian source (real part first, as the defined noise
// draws them) filtered circularly by the defined 128-tap filter, so that
// the band holds across the seam: output j sums taps k over raw sample
// (j + k) mod N, in the filter's own order.
#include <omp.h>

#include <algorithm>
#include <complex>

#include "blockPipeline.h"
#include "exactLoops.h"
#include "filterDesign.h"
#include "gaussianNoise.h"
#include "hugePages.h"
#include "noiseFilter.h"
#include "awgnPlan.h"

namespace {

constexpr int kTaps = noise::kTaps;
constexpr int64_t kBlock = 8192;

}  // namespace

int exactWaveform(GenSignalClass&, const AWGNParams& params, int, double fs, const HandleOptions&, ExactWaveform& out) {
    AwgnPlan plan{};
    if (int rc = planAwgn(params, fs, plan)) return rc;
    if (int rc = refuseAboveNyquist(params, fs)) return rc;
    const AWGNParams p = params;
    int64_t n = 0;
    if (int rc = wholeSpan("AWGNParams.duration", p.duration, fs, n)) return rc;
    if (n > kMaxLoopSamples)
        return refuse(-1, "AWGNParams.duration = %s: spans %lld samples, beyond the loop cap of 2^26",
                      numberText(p.duration).text, static_cast<long long>(n));
    const size_t N = static_cast<size_t>(n);
    Buffer<std::complex<float>> raw(N), y(N);
    if (!raw || !y) return outOfMemory<std::complex<float>>(-3, 2 * N, "noise samples");
    preferHugePages(y.get(), y.bytesFor(N));
    const int team = teamFor(n, 1 << 15);
    const size_t window = 2 * static_cast<size_t>(kBlock + kTaps - 1);
    Buffer<double> scratch(window * static_cast<size_t>(team) + kTaps);
    if (!scratch) return outOfMemory<double>(-3, window * team + kTaps, "noise filter windows");
    double* const h = scratch.get() + window * static_cast<size_t>(team);
    noiseFilterTaps(plan.cutoff, kTaps, h);
    // Everything is allocated before the first draw: a refusal leaves the
    // noise stream where it was.
    for (size_t i = 0; i < N; ++i) {
        const float re = static_cast<float>(randn());
        const float im = static_cast<float>(randn());
        raw[i] = {re, im};
    }
    const std::complex<float>* const x = raw.get();
    std::complex<float>* const out0 = y.get();
    const int64_t blocks = (n + kBlock - 1) / kBlock;
#pragma omp parallel num_threads(team) if (team > 1)
    {
        double* const w = scratch.get() + window * static_cast<size_t>(omp_get_thread_num());
#pragma omp for schedule(static)
        for (int64_t b = 0; b < blocks; ++b) {
            const int64_t first = b * kBlock, count = std::min(n, first + kBlock) - first;
            for (int64_t i = 0; i < count + kTaps - 1; ++i) {
                const std::complex<float> v = x[(first + i) % n];
                w[2 * i] = v.real();
                w[2 * i + 1] = v.imag();
            }
            noise::filterWindow(w, h, static_cast<int>(count), out0 + first);
        }
    }
    out.complexSamples = std::move(y);
    out.samples = static_cast<int>(n);
    out.loop = loopInfo(naturalPeriod(params, 0, fs), 1, out.samples, fs);
    return 0;
}
