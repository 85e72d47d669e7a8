// FM: a unit phasor whose phase integrates a sine, square, triangle or
// sawtooth scaled by the peak deviation, over a whole number of modulation
// periods whenever one fits whole samples.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "blockPipeline.h"
#include "buffer.h"
#include "cpuDispatch.h"
#include "fmPlan.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "mathConstants.h"
#include "modulatingWave.h"
#include "phaseSlots.h"
#include "rangeChecks.h"

namespace {

constexpr int64_t kBlock = 4096;         // samples per block of the phase pipeline
constexpr int64_t kPerThread = 1 << 15;  // fewer samples per thread stay on one thread

// The phase sum over samples [first, last): phi = fma(w_i, c, phi), each
// phase stored in its sample's slot. The sine's w_i are already in the
// slots; the other shapes step their wave here and map it onto -1 ... 1.
// Compiled twice, so that the AVX2 variant runs the fma as an instruction.
__attribute__((always_inline)) inline double phaseSum(std::complex<float>* x, int64_t first, int64_t last, int shape,
                                                      SegmentWave& wave, double c, double phi) {
    switch (shape) {
        case 1:
            for (int64_t i = first; i < last; ++i) storePhase(x + i, phi = std::fma(loadPhase(x + i), c, phi));
            break;
        case 2:
            for (int64_t i = first; i < last; ++i) {
                const double w = wave.next<2>();
                storePhase(x + i, phi = std::fma(w + w - 1, c, phi));
            }
            break;
        case 3:
            for (int64_t i = first; i < last; ++i) {
                const double w = wave.next<3>();
                storePhase(x + i, phi = std::fma((w - 0.5) + (w - 0.5), c, phi));
            }
            break;
        default:
            for (int64_t i = first; i < last; ++i) storePhase(x + i, phi = std::fma(wave.next<4>() * 2 - 1, c, phi));
            break;
    }
    return phi;
}

double phaseSumGeneric(std::complex<float>* x, int64_t first, int64_t last, int shape, SegmentWave& wave, double c,
                       double phi) {
    return phaseSum(x, first, last, shape, wave, c, phi);
}

__attribute__((target("avx2,fma"))) double phaseSumAvx2(std::complex<float>* x, int64_t first, int64_t last, int shape,
                                                        SegmentWave& wave, double c, double phi) {
    return phaseSum(x, first, last, shape, wave, c, phi);
}

}  // namespace

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
    std::complex<float>* x = out.get();
    const int team = teamFor(n, kPerThread);

    // The sine's values need no order: they go into the slots first, on
    // every thread, in chunks that go to whichever thread is free.
    if (plan.shape == 1) {
        const double dt = 1 / plan.sampleRate;
        const double w = kTwoPi * plan.modFrequency;
#pragma omp parallel for schedule(dynamic, kBlock) num_threads(team) if (team > 1)
        for (int i = 0; i < n; ++i) storePhase(x + i, std::sin(i * dt * w));
    }

    // The phase advances before each sample is formed, so sample 0 already
    // carries the increment of w_0. The sum runs in order; the phasors of
    // finished blocks are formed meanwhile.
    SegmentWave segments(plan.modFrequency, plan.sampleRate);
    const auto sum = useAvx2() ? phaseSumAvx2 : phaseSumGeneric;
    double phi = 0;
    const int64_t blocks = (n + kBlock - 1) / kBlock;
    auto range = [&](int64_t b) { return std::make_pair(b * kBlock, std::min<int64_t>(n, (b + 1) * kBlock)); };
    runBlockPipeline(
        blocks, team, 0,
        [&](int64_t b) {
            const auto [first, last] = range(b);
            phi = sum(x, first, last, plan.shape, segments, plan.phaseStep, phi);
        },
        [&](int64_t b) {
            const auto [first, last] = range(b);
            phasorsFromPhases(x + first, static_cast<size_t>(last - first));
        });

    wave.samples = std::move(out);
    wave.length = n;
    return 0;
}
