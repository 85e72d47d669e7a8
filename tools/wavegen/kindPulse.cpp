#include "kinds.h"
#include "wrapperGenSignalWave.h"

const KindTable& pulseKind() {
    static const KindTable kind{
        "pulse",
        "PulseParams",
        "GeneratePulseWaveform",
        "one period of a rectangular pulse train (I only)",
        sizeof(PulseParams),
        1e6,
        {
            RECORD_FIELD(PulseParams, pulseWidth).byDefault(1e-3).in("s").means("duration of the high part").isMain(),
            RECORD_FIELD(PulseParams, pulsePeriod).byDefault(4e-3).in("s").means("pulse repetition period").isMain(),
        },
        [](int h, const void* record, int, int16_t** iq, int* count, double rate) {
            return GeneratePulseWaveform(h, static_cast<const PulseParams*>(record), iq, count, rate);
        }};
    return kind;
}
