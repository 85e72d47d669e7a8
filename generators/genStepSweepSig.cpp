// Stepped sweep: a unit tone dwelling on S equally spaced frequencies centred
// on 0 Hz, with the phase running on continuously across the steps.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "blockPipeline.h"
#include "cpuDispatch.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "mathConstants.h"
#include "phaseSlots.h"
#include "rangeChecks.h"
#include "stepSweepPlan.h"

namespace {

constexpr int64_t kBlock = 4096;         // samples per block of the phase pipeline
constexpr int64_t kPerThread = 1 << 15;  // fewer samples per thread stay on one thread

// Where the phase sum stands between blocks.
struct StepState {
    int s = 1;     // step in force, counted from 1
    double f = 0;  // its frequency
    double phi = 0;
};

// Samples [first, last): step s is in force from the first sample whose
// time i * dt reaches (s - 1) * dwellTime; phi = fma(f * 2 pi, dt, phi),
// stored in the sample's slot. Step k sits at (k - centre) * delta, formed
// when the step changes: S may be far larger than the number of samples.
// Compiled twice, so that the AVX2 variant runs the fma as an instruction.
__attribute__((always_inline)) inline void stepPhases(std::complex<float>* x, int64_t first, int64_t last,
                                                      const StepSweepPlan& plan, double dt, StepState& st) {
    int s = st.s;
    double f = st.f, phi = st.phi;
    for (int64_t k = first; k < last; ++k) {
        const int i = static_cast<int>(k);
        if (s < plan.steps && s * plan.dwellTime <= i * dt) {
            ++s;
            f = ((s - 1) - plan.centre) * plan.delta;
        }
        phi = std::fma(f * kTwoPi, dt, phi);
        storePhase(x + k, phi);
    }
    st = {s, f, phi};
}

void stepPhasesGeneric(std::complex<float>* x, int64_t first, int64_t last, const StepSweepPlan& plan, double dt,
                       StepState& st) {
    stepPhases(x, first, last, plan, dt, st);
}

__attribute__((target("avx2,fma"))) void stepPhasesAvx2(std::complex<float>* x, int64_t first, int64_t last,
                                                        const StepSweepPlan& plan, double dt, StepState& st) {
    stepPhases(x, first, last, plan, dt, st);
}

}  // namespace

int GenSignalClass::genStepSweepSig(StepSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    return fillForCaller<StepSweepPlan>(
        "genStepSweepSig", params, samples, sampleCount,
        [&](StepSweepPlan& plan) { return planStepSweep(*params, sampleRate, plan); },
        [&](const StepSweepPlan& plan, std::complex<float>* s) { return genStepSweepSig(plan, s); });
}

int GenSignalClass::genStepSweepSig(const StepSweepPlan& plan, std::complex<float>* samples) {
    // The phase sum runs in order; the phasors of finished blocks are formed
    // meanwhile, on every thread.
    const int64_t n = plan.samples;
    preferHugePages(samples, sizeof(std::complex<float>) * static_cast<size_t>(n));
    const double dt = plan.dt;
    StepState state;
    state.f = (0 - plan.centre) * plan.delta;
    const auto phases = useAvx2() ? stepPhasesAvx2 : stepPhasesGeneric;
    auto range = [&](int64_t b) { return std::make_pair(b * kBlock, std::min(n, (b + 1) * kBlock)); };
    runBlockPipeline((n + kBlock - 1) / kBlock, teamFor(n, kPerThread), 0,
                     [&](int64_t b) {
                         const auto [first, last] = range(b);
                         phases(samples, first, last, plan, dt, state);
                     },
                     [&](int64_t b) {
                         const auto [first, last] = range(b);
                         phasorsFromPhases(samples + first, static_cast<size_t>(last - first));
                     });

    return 0;
}
