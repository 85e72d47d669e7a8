#include "kinds.h"
#include "wrapperGenSignalWave.h"

const KindTable& awgnKind() {
    static const KindTable kind{"awgn",
                                "AWGNParams",
                                "GenerateAWGNWaveform",
                                "band-limited complex white Gaussian noise centred on 0 Hz",
                                sizeof(AWGNParams),
                                1e6,
                                {
                                    RECORD_FIELD(AWGNParams, bandwidth)
                                        .byDefault(200e3)
                                        .in("Hz")
                                        .means("two-sided noise bandwidth (above half the sample rate acts as half)")
                                        .isMain(),
                                    RECORD_FIELD(AWGNParams, duration).byDefault(0.01).in("s").means("length").isMain(),
                                    // The library never seeds rand(); without a seed the noise
                                    // continues the C library's default stream.
                                    seedField().means("seed for the C library's rand() (0 ... 4294967295)"),
                                },
                                [](int h, const void* record, int, int16_t** iq, int* count, double rate) {
                                    return GenerateAWGNWaveform(h, static_cast<const AWGNParams*>(record), iq, count,
                                                                rate);
                                }};
    return kind;
}
