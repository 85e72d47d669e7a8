#include "kinds.h"
#include "wrapperGenSignalWave.h"

const KindTable& stepSweepKind() {
    static const KindTable kind{
        "stepsweep",
        "StepSweepParams",
        "GenerateStepSweepWaveform",
        "stepped frequency sweep centred on 0 Hz (start and stop only set the step spacing)",
        sizeof(StepSweepParams),
        10e6,
        {
            RECORD_FIELD(StepSweepParams, startFrequency).byDefault(0).in("Hz").means("start frequency").isMain(),
            RECORD_FIELD(StepSweepParams, stopFrequency)
                .byDefault(1e6)
                .in("Hz")
                .means("stop frequency (below the start sweeps downwards)")
                .isMain(),
            RECORD_FIELD(StepSweepParams, stepCount).byDefault(11).means("number of steps").isMain(),
            RECORD_FIELD(StepSweepParams, dwellTime).byDefault(1e-3).in("s").means("time on each step").isMain(),
        },
        [](int h, const void* record, int, int16_t** iq, int* count, double rate) {
            return GenerateStepSweepWaveform(h, static_cast<const StepSweepParams*>(record), iq, count, rate);
        }};
    return kind;
}
