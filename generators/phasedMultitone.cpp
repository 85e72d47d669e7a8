#include "phasedMultitone.h"

#include <omp.h>

#include <cmath>

#include "blockPipeline.h"
#include "farrow.h"
#include "genSignalClass.h"
#include "mathConstants.h"
#include "tonePhases.h"

namespace {
constexpr int64_t kPerThread = 1 << 14;  // tone evaluations per thread below which one thread does all
}

int phasedMultitone(GenSignalClass& dsp, const MultitonePlan& plan, const HandleOptions& options,
                    GeneratedWave<std::complex<float>>& wave) {
    if (options.phases == TonePhases::zero) return dsp.genMultitoneSig(plan, wave);
    const int N = plan.tones;
    const int L = plan.patternSamples;
    Buffer<double> f(static_cast<size_t>(N)), phase(static_cast<size_t>(N));
    if (!f || !phase) return outOfMemory<double>(-1, 2 * static_cast<size_t>(N), "tone list");
    Buffer<std::complex<float>> x(static_cast<size_t>(L));
    if (!x) return outOfMemory<std::complex<float>>(-1, L, "tone pattern");
    Buffer<std::complex<float>> y;
    if (plan.resample) {
        y = Buffer<std::complex<float>>(static_cast<size_t>(plan.resampledRoom));
        if (!y) return outOfMemory<std::complex<float>>(-1, plan.resampledRoom, "resampled pattern");
    }
    multitoneToneList(plan, f.get());
    // List entry k is tone h + k of the ascending order (0 Hz and above),
    // entry h + k of the negatives tone h - 1 - k (odd: h - k).
    const int odd = N % 2, h = (N - odd) / 2;
    for (int k = 0; k < N; ++k) {
        const int above = k < h + odd, ascending = above ? h + k : (odd ? 2 * h - k : 2 * h - 1 - k);
        phase[k] = tonePhase(options.phases, ascending, N, options.phaseSeed);
    }
    const double dt = 1 / plan.internalRate;
    const double* freq = f.get();
    const double* start = phase.get();
    std::complex<float>* const pattern = x.get();
#pragma omp parallel for schedule(dynamic, 64) num_threads(teamFor(static_cast <int64_t>(L) * N, kPerThread))
    for (int i = 0; i < L; ++i) {
        const double t = i * dt;
        double re = 0, im = 0;
        for (int k = 0; k < N; ++k) {
            double sn, cn;
            ::sincos((freq[k] * kTwoPi) * t + start[k], &sn, &cn);
            re += cn;
            im += sn;
        }
        pattern[i] = {static_cast<float>(re), static_cast<float>(im)};
    }
    if (plan.resample) {
        farrowResample(x.get(), L, plan.internalRate / plan.sampleRate, plan.resampled, y.get());
        x = std::move(y);
    }
    wave.samples = std::move(x);
    wave.length = plan.resampled;
    return 0;
}
