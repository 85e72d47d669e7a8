#include "choices.h"
#include "kinds.h"

const KindTable& dssKind() {
    static const KindTable kind{
        "dss",
        "DSSParams",
        "GenerateDssWaveform",
        "direct-sequence spread spectrum: PN data bits spread by a PN code, BPSK chips, pulse-shaped",
        sizeof(DSSParams),
        508000.0,  // samples-per-chip * bit-rate * (2^pn-order - 1) for the defaults: no resampling
        {
            RECORD_FIELD(DSSParams, bitRate)
                .byDefault(1000)
                .in("bits/s")
                .means("data bits per second, before spreading")
                .isMain(),
            RECORD_FIELD(DSSParams, modType).oneOf({{"bpsk", BPSK}}).byDefault(BPSK).means("chip modulation"),
            RECORD_FIELD(DSSParams, pnOrder)
                .byDefault(7)
                .in("bits")
                .means("spreading code order; each bit becomes 2^order - 1 chips")
                .isMain(),
            RECORD_FIELD(DSSParams, filterSpan)
                .byDefault(6)
                .in("chips")
                .means("filter span (ignored by rect and half_sine)"),
            RECORD_FIELD(DSSParams, samplesPerChip).byDefault(4).means("samples per chip"),
            RECORD_FIELD(DSSParams, rolloff)
                .byDefault(0.35)
                .means("roll-off (rcos, rrcos) or bandwidth-time product (gaussian)"),
            RECORD_FIELD(DSSParams, pnSeed)
                .byDefault(1)
                .means("spreading code start state: its pn-order low bits, MSB first"),
            RECORD_FIELD(DSSParams, filterType)
                .oneOf(filterNames())
                .byDefault(RRCOS)
                .means("chip pulse shape")
                .isMain(),
            argumentField("bitCount").byDefault(10).in("bits").means("data bits in the burst").isMain(),
        },
        [](int h, const void* record, int bitCount, int16_t** iq, int* count, double rate) {
            return GenerateDssWaveform(h, static_cast<const DSSParams*>(record), bitCount, iq, count, rate);
        }};
    return kind;
}
