// Linear ramp: a unit tone whose frequency climbs from -B/2 to +B/2 over the
// sweep time, then silence up to the duration.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "blockPipeline.h"
#include "cpuDispatch.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "mathConstants.h"
#include "phaseSlots.h"
#include "rampSweepPlan.h"
#include "rangeChecks.h"

namespace {

constexpr int64_t kBlock = 4096;         // samples per block of the phase pipeline
constexpr int64_t kPerThread = 1 << 15;  // fewer samples per thread stay on one thread

// Ramp samples [first, last): the time k / sampleRate + start, centred on
// the middle of the ramp, and phi = fma(w, kappa * t, phi), stored in the
// sample's slot. Compiled twice, so that the AVX2 variant runs the fma as
// an instruction.
__attribute__((always_inline)) inline double rampPhases(std::complex<float>* x, int64_t first, int64_t last,
                                                        double sampleRate, double start, double kappa, double w,
                                                        double phi) {
    for (int64_t k = first; k < last; ++k) {
        const double t = static_cast<int>(k) / sampleRate + start;
        phi = std::fma(w, kappa * t, phi);
        storePhase(x + k, phi);
    }
    return phi;
}

double rampPhasesGeneric(std::complex<float>* x, int64_t first, int64_t last, double sampleRate, double start,
                         double kappa, double w, double phi) {
    return rampPhases(x, first, last, sampleRate, start, kappa, w, phi);
}

__attribute__((target("avx2,fma"))) double rampPhasesAvx2(std::complex<float>* x, int64_t first, int64_t last,
                                                          double sampleRate, double start, double kappa, double w,
                                                          double phi) {
    return rampPhases(x, first, last, sampleRate, start, kappa, w, phi);
}

}  // namespace

int GenSignalClass::genRampSweepSig(RampSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    return fillForCaller<RampSweepPlan>(
        "genRampSweepSig", params, samples, sampleCount,
        [&](RampSweepPlan& plan) { return planRampSweep(*params, sampleRate, plan); },
        [&](const RampSweepPlan& plan, std::complex<float>* s) { return genRampSweepSig(plan, s); });
}

int GenSignalClass::genRampSweepSig(const RampSweepPlan& plan, std::complex<float>* samples) {
    // The ramp's phase sum runs in order; the phasors of finished blocks are
    // formed meanwhile on every thread, and the silence after the ramp is
    // zeroed there too.
    const int64_t R = plan.rampSamples;
    const int64_t N = plan.samples;
    preferHugePages(samples, sizeof(std::complex<float>) * static_cast<size_t>(N));
    const double start = -(plan.sweepTime * 0.5);
    const double kappa = plan.chirpRate;
    const double sampleRate = plan.sampleRate;
    const double w = kTwoPi / sampleRate;
    const auto phases = useAvx2() ? rampPhasesAvx2 : rampPhasesGeneric;
    double phi = 0;
    runBlockPipeline((N + kBlock - 1) / kBlock, teamFor(N, kPerThread), 0,
                     [&](int64_t b) {
                         const int64_t first = b * kBlock, last = std::min(R, (b + 1) * kBlock);
                         if (first < last) phi = phases(samples, first, last, sampleRate, start, kappa, w, phi);
                     },
                     [&](int64_t b) {
                         const int64_t first = b * kBlock, last = std::min(N, (b + 1) * kBlock);
                         const int64_t rampEnd = std::clamp(R, first, last);
                         phasorsFromPhases(samples + first, static_cast<size_t>(rampEnd - first));
                         std::memset(static_cast<void*>(samples + rampEnd), 0,
                                     sizeof(std::complex<float>) * static_cast<size_t>(last - rampEnd));
                     });

    return 0;
}
