// Linear ramp: a unit tone whose frequency climbs from -B/2 to +B/2 over the
// sweep time, then silence up to the duration.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "blockPipeline.h"
#include "cpuDispatch.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "mathConstants.h"
#include "phaseSlots.h"
#include "presizedPlans.h"
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

int planRampSweep(const RampSweepParams& p, double sampleRate, RampSweepPlan& plan) {
    if (int rc = checkSampleRate(sampleRate)) return rc;
    const double bandwidth = p.sweepBandwidth;
    if (!finitePositive(bandwidth))
        return refuse(-1, "RampSweepParams.sweepBandwidth = %s: must be finite and above 0",
                      numberText(bandwidth).text);
    const double sweepTime = p.sweepTime;
    if (!finitePositive(sweepTime))
        return refuse(-1, "RampSweepParams.sweepTime = %s: must be finite and above 0", numberText(sweepTime).text);
    const double duration = p.duration;
    if (!finitePositive(duration))
        return refuse(-1, "RampSweepParams.duration = %s: must be finite and above 0", numberText(duration).text);

    // A sweep longer than the duration makes the waveform as long as the
    // sweep; the whole length is never shorter than the ramp.
    const double rampLength = std::floor(sweepTime * sampleRate);
    const double totalLength = std::floor((sweepTime > duration ? sweepTime : duration) * sampleRate);
    if (!countFits(totalLength)) return refuseLength(totalLength);
    if (rampLength < 1)
        return refuse(-1, "RampSweepParams.sweepTime = %s: must span at least one sample at sampleRate = %s",
                      numberText(sweepTime).text, numberText(sampleRate).text);

    plan = {static_cast<int>(totalLength), static_cast<int>(rampLength), sweepTime, bandwidth / sweepTime};
    return 0;
}

int GenSignalClass::genRampSweepSig(RampSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    if (!params) return refuseNull("genRampSweepSig", "params");
    if (!samples) return refuseNull("genRampSweepSig", "samples");
    if (!sampleCount) return refuseNull("genRampSweepSig", "sampleCount");
    RampSweepPlan plan{};
    if (int rc = planRampSweep(*params, sampleRate, plan)) return rc;

    // The ramp's phase sum runs in order; the phasors of finished blocks are
    // formed meanwhile on every thread, and the silence after the ramp is
    // zeroed there too.
    const int64_t R = plan.rampSamples;
    const int64_t N = plan.samples;
    preferHugePages(samples, sizeof(std::complex<float>) * static_cast<size_t>(N));
    const double start = -(plan.sweepTime * 0.5);
    const double kappa = plan.chirpRate;
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

    *sampleCount = plan.samples;
    return 0;
}
