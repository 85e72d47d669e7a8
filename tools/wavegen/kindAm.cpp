#include "choices.h"
#include "kinds.h"

const KindTable& amKind() {
    static const KindTable kind{
        "am",
        "AMModParams",
        "GenerateAmWaveform",
        "AM envelope (I only), a whole number of modulation periods",
        sizeof(AMModParams),
        48000.0,
        {
            RECORD_FIELD(AMModParams, modFrequency).byDefault(1000).in("Hz").means("modulating frequency").isMain(),
            RECORD_FIELD(AMModParams, modDepth)
                .byDefault(50)
                .in("%")
                .means("modulation depth (above 100 over-modulates)")
                .isMain(),
            RECORD_FIELD(AMModParams, modShape).oneOf(shapeNames()).byDefault(1).means("modulating waveform").isMain(),
        },
        [](int h, const void* record, int, int16_t** iq, int* count, double rate) {
            return GenerateAmWaveform(h, static_cast<const AMModParams*>(record), iq, count, rate);
        }};
    return kind;
}
