// Linear ramp: a unit tone whose frequency climbs from -B/2 to +B/2 over the
// sweep time, then silence up to the duration.
#include <cmath>
#include <complex>
#include <cstdint>

#include "generatedWave.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "mathConstants.h"
#include "phasePipeline.h"
#include "phaseSlots.h"
#include "rampSweepPlan.h"

int GenSignalClass::genRampSweepSig(RampSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    return fillForCaller<RampSweepPlan>(
        "genRampSweepSig", params, samples, sampleCount,
        [&](RampSweepPlan& plan) { return planRampSweep(*params, sampleRate, plan); },
        [&](const RampSweepPlan& plan, std::complex<float>* s) { return genRampSweepSig(plan, s); });
}

int GenSignalClass::genRampSweepSig(const RampSweepPlan& plan, std::complex<float>* samples) {
    // Ramp sample k: the time k / sampleRate + start, centred on the middle
    // of the ramp, and phi = fma(w, kappa * t, phi); silence after the ramp.
    preferHugePages(samples, sizeof(std::complex<float>) * static_cast<size_t>(plan.samples));
    const double sampleRate = plan.sampleRate;
    const double start = -(plan.sweepTime * 0.5);
    const double kappa = plan.chirpRate;
    const double w = kTwoPi / sampleRate;
    double sum = 0;  // carried in a local within each block, where the stores cannot touch it
    generatePhasors(samples, plan.samples, plan.rampSamples, [&](int64_t first, int64_t last) GENSIGNAL_KERNEL_BODY {
        double phi = sum;
        for (int64_t k = first; k < last; ++k) {
            const double t = static_cast<int>(k) / sampleRate + start;
            phi = std::fma(w, kappa * t, phi);
            storePhase(samples + k, phi);
        }
        sum = phi;
    });
    return 0;
}
