#include "kinds.h"
#include "wrapperGenSignalWave.h"

const KindTable& multitoneKind() {
    static const KindTable kind{
        "multitone",
        "MultitoneParams",
        "GenerateMultitoneWaveform",
        "equal-amplitude tones spaced evenly about 0 Hz, one common period",
        sizeof(MultitoneParams),
        1e6,
        {
            RECORD_FIELD(MultitoneParams, toneCount).byDefault(4).means("number of tones").isMain(),
            RECORD_FIELD(MultitoneParams, toneSpacing)
                .byDefault(1000)
                .in("Hz")
                .means("spacing between neighbouring tones")
                .isMain(),
        },
        [](int h, const void* record, int, int16_t** iq, int* count, double rate) {
            return GenerateMultitoneWaveform(h, static_cast<const MultitoneParams*>(record), iq, count, rate);
        }};
    return kind;
}
