#include "kinds.h"
#include "wrapperGenSignalWave.h"

const KindTable& rampSweepKind() {
    static const KindTable kind{
        "rampsweep",
        "RampSweepParams",
        "GenerateRampSweepWaveform",
        "linear frequency ramp from -B/2 to +B/2, then silence",
        sizeof(RampSweepParams),
        10e6,
        {
            RECORD_FIELD(RampSweepParams, sweepBandwidth).byDefault(1e6).in("Hz").means("swept bandwidth B").isMain(),
            RECORD_FIELD(RampSweepParams, sweepTime).byDefault(1e-3).in("s").means("ramp duration").isMain(),
            RECORD_FIELD(RampSweepParams, duration)
                .byDefault(2e-3)
                .in("s")
                .means("waveform duration, ramp plus silence")
                .isMain(),
        },
        [](int h, const void* record, int, int16_t** iq, int* count, double rate) {
            return GenerateRampSweepWaveform(h, static_cast<const RampSweepParams*>(record), iq, count, rate);
        }};
    return kind;
}
