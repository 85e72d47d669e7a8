// FM: a unit phasor whose phase integrates a sine, square, triangle or
// sawtooth scaled by the peak deviation, over a whole number of modulation
// periods whenever one fits whole samples.
#include <cmath>
#include <complex>
#include <cstdint>
#include <utility>

#include "blockPipeline.h"
#include "buffer.h"
#include "fmPlan.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "mathConstants.h"
#include "modulatingWave.h"
#include "phasePipeline.h"
#include "phaseSlots.h"

int GenSignalClass::genFMSig(FMModParams const* params, double sampleRate, std::complex<float>** samples,
                             int* sampleCount) {
    return generateForCaller<FmPlan>(
        "genFMSig", params, samples, sampleCount, [&](FmPlan& plan) { return planFm(*params, sampleRate, plan); },
        [&](const FmPlan& plan, GeneratedWave<std::complex<float>>& wave) { return genFMSig(plan, wave); });
}

int GenSignalClass::genFMSig(const FmPlan& plan, GeneratedWave<std::complex<float>>& wave) {
    // A modulating frequency far above the sample rate leaves no sample at
    // all: that result needs no arrays.
    const int n = plan.samples;
    if (n == 0) return 0;
    Buffer<std::complex<float>> out(static_cast<size_t>(n));
    if (!out) return outOfMemory<std::complex<float>>(-1, n, "FM samples");
    preferHugePages(out.get(), out.bytesFor(n));
    std::complex<float>* const x = out.get();

    // The sine's values need no order: they go into the slots first, on
    // every thread, in chunks that go to whichever thread is free.
    if (plan.shape == 1) {
        const SampleBlocks blocks(n);
        const double dt = 1 / plan.sampleRate;
        const double w = kTwoPi * plan.modFrequency;
#pragma omp parallel for schedule(dynamic, SampleBlocks::kSize) num_threads(blocks.team) if (blocks.team > 1)
        for (int i = 0; i < n; ++i) storePhase(x + i, std::sin(i * dt * w));
    }

    // The phase advances before each sample is formed, so sample 0 already
    // carries the increment of w_0: phi = fma(w_i, c, phi). The square,
    // triangle and sawtooth step their wave here and map it onto -1 ... 1.
    // (The sum is carried in a local within each block, where the stores
    // into the slots cannot touch it.)
    SegmentWave segments(plan.modFrequency, plan.sampleRate);
    const double c = plan.phaseStep;
    double sum = 0;
    generatePhasors(x, n, n, [&](int64_t first, int64_t last) GENSIGNAL_KERNEL_BODY {
        double phi = sum;
        switch (plan.shape) {
            case 1:
                for (int64_t i = first; i < last; ++i) storePhase(x + i, phi = std::fma(loadPhase(x + i), c, phi));
                break;
            case 2:
                for (int64_t i = first; i < last; ++i) {
                    const double v = segments.next<2>();
                    storePhase(x + i, phi = std::fma(v + v - 1, c, phi));
                }
                break;
            case 3:
                for (int64_t i = first; i < last; ++i) {
                    const double v = segments.next<3>();
                    storePhase(x + i, phi = std::fma((v - 0.5) + (v - 0.5), c, phi));
                }
                break;
            default:
                for (int64_t i = first; i < last; ++i)
                    storePhase(x + i, phi = std::fma(segments.next<4>() * 2 - 1, c, phi));
                break;
        }
        sum = phi;
    });

    wave.samples = std::move(out);
    wave.length = n;
    return 0;
}
