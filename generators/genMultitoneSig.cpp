// N equal-amplitude tones placed symmetrically about 0 Hz, one common period
// built at an internal rate that makes the period whole samples, then
// resampled to the requested rate when the two differ.
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdint>

#include "blockPipeline.h"
#include "buffer.h"
#include "farrow.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "mathConstants.h"
#include "multitonePlan.h"
#include "rangeChecks.h"

namespace {

constexpr int64_t kPerThread = 1 << 14;  // tone evaluations per thread below which one thread does all

}  // namespace

int GenSignalClass::genMultitoneSig(MultitoneParams const* params, double sampleRate, std::complex<float>** samples,
                                    int* sampleCount) {
    return generateForCaller<MultitonePlan>(
        "genMultitoneSig", params, samples, sampleCount,
        [&](MultitonePlan& plan) { return planMultitone(*params, sampleRate, plan); },
        [&](const MultitonePlan& plan, GeneratedWave<std::complex<float>>& wave) {
            return genMultitoneSig(plan, wave);
        });
}

void multitoneToneList(const MultitonePlan& plan, double* f) {
    const int N = plan.tones;
    const double df = plan.spacing;
    if (N % 2 == 0) {
        const int h = N / 2;
        for (int k = 0; k < h; ++k) f[k] = std::fma(static_cast<double>(k), df, df * 0.5);
        for (int k = 0; k < h; ++k) f[h + k] = -f[k];
    } else {
        const int h = (N - 1) / 2;
        for (int k = 0; k <= h; ++k) f[k] = k * df;
        for (int k = 1; k <= h; ++k) f[h + k] = -f[k];
    }
}

int GenSignalClass::genMultitoneSig(const MultitonePlan& plan, GeneratedWave<std::complex<float>>& wave) {
    const int N = plan.tones;
    const int L = plan.patternSamples;
    Buffer<double> f(static_cast<size_t>(N));
    if (!f) return outOfMemory<double>(-1, N, "tone list");
    Buffer<std::complex<float>> x(static_cast<size_t>(L));
    if (!x) return outOfMemory<std::complex<float>>(-1, L, "tone pattern");
    Buffer<std::complex<float>> y;
    if (plan.resample) {
        y = Buffer<std::complex<float>>(static_cast<size_t>(plan.resampledRoom));
        if (!y) return outOfMemory<std::complex<float>>(-1, plan.resampledRoom, "resampled pattern");
    }

    multitoneToneList(plan, f.get());

    // The tone at -f has exactly the negated argument of the tone at +f, and
    // this libm's cosine is even and its sine odd to the bit (a test checks
    // that over many arguments): each +-f pair costs one sincos. The sums
    // still run over the list in its order.
    const int odd = N % 2;
    const int h = (N - odd) / 2;  // tones above 0 Hz: f[odd ... odd + h)
    const int team = teamFor(static_cast<int64_t>(L) * N, kPerThread);
    const size_t pairValues = 2 * static_cast<size_t>(h) * team;
    Buffer<double> pairs(pairValues);
    if (!pairs) return outOfMemory<double>(-1, pairValues, "tone values");
    const double* freq = f.get();
    const double dt = 1 / plan.internalRate;
    std::complex<float>* const pattern = x.get();
#pragma omp parallel num_threads(team) if (team > 1)
    {
        double* const cs = pairs.get() + 2 * static_cast<size_t>(h) * omp_get_thread_num();
        // Chunks go to whichever thread is free: on a busy machine a thread
        // that starts late takes fewer of them.
#pragma omp for schedule(dynamic, 64)
        for (int i = 0; i < L; ++i) {
            const double t = i * dt;
            double re = 0, im = 0;
            for (int k = 0; k < odd + h; ++k) {
                double sn, cn;
                ::sincos((freq[k] * kTwoPi) * t, &sn, &cn);
                re += cn;
                im += sn;
                if (k >= odd) {
                    cs[2 * (k - odd)] = cn;
                    cs[2 * (k - odd) + 1] = sn;
                }
            }
            for (int k = 0; k < h; ++k) {
                re += cs[2 * k];
                im += -cs[2 * k + 1];
            }
            pattern[i] = {static_cast<float>(re), static_cast<float>(im)};
        }
    }

    if (plan.resample) {
        farrowResample(x.get(), L, plan.internalRate / plan.sampleRate, plan.resampled, y.get());
        x = std::move(y);
    }
    wave.samples = std::move(x);
    wave.length = plan.resampled;
    return 0;
}
