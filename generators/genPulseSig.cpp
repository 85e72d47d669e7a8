// One period of a rectangular pulse train (1.0 high, 0.0 low), laid out in
// whole samples and resampled when that rate is off the requested one. A
// period that needs no resampling goes to the frame as two runs.
#include <utility>

#include "buffer.h"
#include "farrow.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "pulsePlan.h"

int GenSignalClass::genPulseSig(PulseParams const* params, double sampleRate, float** samples, int* sampleCount) {
    return generateForCaller<PulsePlan>(
        "genPulseSig", params, samples, sampleCount,
        [&](PulsePlan& plan) { return planPulse(*params, sampleRate, plan); },
        [&](const PulsePlan& plan, GeneratedWave<float>& wave) {
            if (int rc = genPulseSig(plan, wave)) return rc;
            return expandRuns(wave, -1, "pulse period");
        });
}

int GenSignalClass::genPulseSig(const PulsePlan& plan, GeneratedWave<float>& wave) {
    const int P = plan.periodSamples;
    if (!plan.resample) {
        Buffer<SampleRun<float>> runs(2);
        if (!runs) return outOfMemory<SampleRun<float>>(-1, 2, "pulse's runs");
        runs[0] = {1.0f, plan.highSamples};
        runs[1] = {0.0f, P - plan.highSamples};
        wave.runs = std::move(runs);
        wave.length = P;
        return 0;
    }
    Buffer<float> x(static_cast<size_t>(P));
    if (!x) return outOfMemory<float>(-1, P, "pulse period");
    for (int i = 0; i < P; ++i) x[i] = i < plan.highSamples ? 1.0f : 0.0f;
    Buffer<float> y(static_cast<size_t>(plan.resampled));
    if (!y) return outOfMemory<float>(-1, plan.resampled, "resampled pulse");
    farrowResample(x.get(), P, plan.internalRate / plan.sampleRate, plan.resampled, y.get());
    wave.samples = std::move(y);
    wave.length = plan.resampled;
    return 0;
}
