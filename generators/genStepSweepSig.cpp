// Stepped sweep: a unit tone dwelling on S equally spaced frequencies centred
// on 0 Hz, with the phase running on continuously across the steps.
#include <cmath>
#include <complex>
#include <cstdint>

#include "generatedWave.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "mathConstants.h"
#include "phasePipeline.h"
#include "phaseSlots.h"
#include "stepSweepPlan.h"

int GenSignalClass::genStepSweepSig(StepSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    return fillForCaller<StepSweepPlan>(
        "genStepSweepSig", params, samples, sampleCount,
        [&](StepSweepPlan& plan) { return planStepSweep(*params, sampleRate, plan); },
        [&](const StepSweepPlan& plan, std::complex<float>* s) { return genStepSweepSig(plan, s); });
}

int GenSignalClass::genStepSweepSig(const StepSweepPlan& plan, std::complex<float>* samples) {
    // Step s (counted from 1) is in force from the first sample whose time
    // i * dt reaches (s - 1) * dwellTime; phi = fma(f * 2 pi, dt, phi).
    // Step k sits at (k - centre) * delta, formed when the step changes: S
    // may be far larger than the number of samples.
    preferHugePages(samples, sizeof(std::complex<float>) * static_cast<size_t>(plan.samples));
    // The state is carried in locals within each block, where the stores
    // into the slots cannot touch it.
    struct State {
        int s;     // step in force
        double f;  // its frequency
        double phi;
    } state{1, (0 - plan.centre) * plan.delta, 0};
    const double dt = plan.dt;
    generatePhasors(samples, plan.samples, plan.samples, [&](int64_t first, int64_t last) GENSIGNAL_KERNEL_BODY {
        int s = state.s;
        double f = state.f, phi = state.phi;
        for (int64_t k = first; k < last; ++k) {
            const int i = static_cast<int>(k);
            if (s < plan.steps && s * plan.dwellTime <= i * dt) {
                ++s;
                f = ((s - 1) - plan.centre) * plan.delta;
            }
            phi = std::fma(f * kTwoPi, dt, phi);
            storePhase(samples + k, phi);
        }
        state = {s, f, phi};
    });
    return 0;
}
