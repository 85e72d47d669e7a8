#include "choices.h"
#include "kinds.h"

const KindTable& digitalKind() {
    static const KindTable kind{
        "digital",
        "DigitalModParams",
        "GenerateDigitalModWaveform",
        "digitally modulated PN symbols, pulse shaped, one loopable period (the default waveform)",
        sizeof(DigitalModParams),
        8e6,
        {
            RECORD_FIELD(DigitalModParams, modType)
                .oneOf(modulationNames())
                .byDefault(QPSK)
                .means("modulation kind")
                .isMain(),
            RECORD_FIELD(DigitalModParams, symbolRate).byDefault(1e6).in("symbols/s").means("symbol rate").isMain(),
            RECORD_FIELD(DigitalModParams, freqDeviation)
                .byDefault(250e3)
                .in("Hz")
                .means("FSK kinds: frequency of the outermost level"),
            RECORD_FIELD(DigitalModParams, pnOrder).byDefault(9).in("bits").means("PN register length"),
            RECORD_FIELD(DigitalModParams, pnSeed)
                .byDefault(10)
                .means("PN start state: the low pn-order bits, most significant first"),
            RECORD_FIELD(DigitalModParams, filterType)
                .oneOf(filterNames())
                .byDefault(RRCOS)
                .means("pulse-shaping filter")
                .isMain(),
            RECORD_FIELD(DigitalModParams, filterSpan)
                .byDefault(6)
                .in("symbols")
                .means("filter length (rect and half_sine use 1)"),
            RECORD_FIELD(DigitalModParams, samplesPerSymbol)
                .byDefault(8)
                .means("oversampling of the symbol-locked rate"),
            RECORD_FIELD(DigitalModParams, rolloff)
                .byDefault(0.35)
                .means("roll-off (rcos, rrcos) or bandwidth-time product (gaussian)")
                .isMain(),
            argumentField("symbolCount").byDefault(1000).in("symbols").means("symbols in one period").isMain(),
        },
        [](int h, const void* record, int symbolCount, int16_t** iq, int* count, double rate) {
            return GenerateDigitalModWaveform(h, static_cast<const DigitalModParams*>(record), symbolCount, iq, count,
                                              rate);
        }};
    return kind;
}
