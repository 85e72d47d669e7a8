#include "choices.h"
#include "kinds.h"

const KindTable& fmKind() {
    static const KindTable kind{
        "fm",
        "FMModParams",
        "GenerateFmWaveform",
        "FM carrier at complex baseband, a whole number of modulation periods",
        sizeof(FMModParams),
        48000.0,
        {
            RECORD_FIELD(FMModParams, modFrequency).byDefault(1000).in("Hz").means("modulating frequency").isMain(),
            RECORD_FIELD(FMModParams, freqDeviation)
                .byDefault(5000)
                .in("Hz")
                .means("peak frequency deviation (negative inverts)")
                .isMain(),
            RECORD_FIELD(FMModParams, modShape).oneOf(shapeNames()).byDefault(1).means("modulating waveform").isMain(),
        },
        [](int h, const void* record, int, int16_t** iq, int* count, double rate) {
            return GenerateFmWaveform(h, static_cast<const FMModParams*>(record), iq, count, rate);
        }};
    return kind;
}
