#include "ofdmPlan.h"

#include "lastError.h"
#include "planCount.h"
#include "rangeChecks.h"

namespace {

// Bits per data symbol of the accepted modulations; 0 for the others.
int bitsPerSymbol(int32_t type) {
    switch (type) {
        case BPSK: return 1;
        case QPSK: return 2;
        case PSK8: return 3;
        case PSK16: return 4;
        case QAM16: return 4;
        case QAM64: return 6;
        case QAM256: return 8;
        default: return 0;
    }
}

const char kModTypeRule[] = "must be 1 (BPSK), 3 (QPSK), 7 (PSK8), 9 (PSK16), 10 (QAM16), 11 (QAM64) or 12 (QAM256)";

}  // namespace

int planOfdm(const OFDMParams& p, OfdmPlan& plan) {
    countPlan();
    const int32_t type = p.modType;
    const int k = bitsPerSymbol(type);
    if (k == 0) return refuse(-1, "OFDMParams.modType = %d: %s", type, kModTypeRule);
    const int n = p.fftSize;
    // The inverse FFT only transforms powers of two.
    if (n < 1 || (n & (n - 1)) != 0) return refuse(-1, "OFDMParams.fftSize = %d: must be a power of two", n);
    const int symbols = p.numSymbols;
    if (symbols < 1) return refuse(-1, "OFDMParams.numSymbols = %d: must be at least 1", symbols);
    // Guards or a prefix beyond the symbol would place data outside it.
    if (p.guardLow < 0) return refuse(-1, "OFDMParams.guardLow = %d: must be at least 0", p.guardLow);
    if (p.guardHigh < 0) return refuse(-1, "OFDMParams.guardHigh = %d: must be at least 0", p.guardHigh);
    if (p.cpPercent > 100) return refuse(-1, "OFDMParams.cpPercent = %d: must be at most 100", p.cpPercent);
    const bool nullDC = p.nullDC != 0;
    const int64_t empty = static_cast<int64_t>(p.guardLow) + p.guardHigh + (nullDC ? 1 : 0);
    if (empty > n)
        return refuse(-1, "OFDMParams.guardHigh = %d: guardLow + guardHigh%s = %lld exceeds fftSize = %d", p.guardHigh,
                      nullDC ? " + 1 (nullDC)" : "", static_cast<long long>(empty), n);
    const int64_t used = n - empty;

    // A negative percentage means no prefix (and is not converted, since a
    // large one would not fit an int); 0 < P <= N otherwise.
    const int prefix = p.cpPercent > 0 ? static_cast<int>(n * (p.cpPercent / 100.0)) : 0;
    const int64_t samples = static_cast<int64_t>(symbols) * (static_cast<int64_t>(n) + prefix);
    if (samples >= kMaxSamples) return refuseLength(static_cast<double>(samples));
    // U <= N, so the points fit whenever the samples do; the bits may not.
    const int64_t points = used * symbols;
    const int64_t bits = k * points;
    if (bits >= kMaxSamples)
        return refuse(-1, "frame of %lld data bits (%d per subcarrier): must be below 2^30",
                      static_cast<long long>(bits), k);

    plan = {type,
            k,
            n,
            symbols,
            p.guardLow,
            nullDC,
            p.windowing != 0,
            static_cast<int>(used),
            prefix,
            static_cast<int>(samples),
            static_cast<int>(points),
            static_cast<int>(bits)};
    return 0;
}
