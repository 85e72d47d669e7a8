#include "kinds.h"
#include "wrapperGenSignalWave.h"

const KindTable& ofdmKind() {
    static const KindTable kind{
        "ofdm",
        "OFDMParams",
        "GenerateOFDMWaveform",
        "OFDM frame of PN data, loopable (subcarrier spacing = rate / fft-size)",
        sizeof(OFDMParams),
        20e6,
        {
            RECORD_FIELD(OFDMParams, fftSize)
                .byDefault(64)
                .in("points")
                .means("inverse-FFT size, a power of two")
                .isMain(),
            RECORD_FIELD(OFDMParams, numSymbols).byDefault(100).means("OFDM symbols in the frame").isMain(),
            RECORD_FIELD(OFDMParams, guardLow)
                .byDefault(6)
                .in("subcarriers")
                .means("empty subcarriers at the low edge"),
            RECORD_FIELD(OFDMParams, guardHigh)
                .byDefault(5)
                .in("subcarriers")
                .means("empty subcarriers at the high edge"),
            RECORD_FIELD(OFDMParams, cpPercent)
                .byDefault(25)
                .in("%")
                .means("cyclic prefix in percent of the FFT size")
                .isMain(),
            RECORD_FIELD(OFDMParams, windowing).byDefault(0).means("cross-fade the symbol transitions"),
            RECORD_FIELD(OFDMParams, modType)
                .oneOf({{"bpsk", BPSK},
                        {"qpsk", QPSK},
                        {"psk8", PSK8},
                        {"psk16", PSK16},
                        {"qam16", QAM16},
                        {"qam64", QAM64},
                        {"qam256", QAM256}})
                .byDefault(QPSK)
                .means("subcarrier modulation")
                .isMain(),
            RECORD_FIELD(OFDMParams, nullDC).byDefault(1).means("leave the centre subcarrier empty"),
        },
        [](int h, const void* record, int, int16_t** iq, int* count, double rate) {
            return GenerateOFDMWaveform(h, static_cast<const OFDMParams*>(record), iq, count, rate);
        }};
    return kind;
}
