// OFDM frame: PN data on the used subcarriers of a centred layout, one
// inverse FFT per symbol, a cyclic prefix, and an optional raised-cosine
// cross-fade that also wraps from the last symbol to the first.
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

#include "buffer.h"
#include "function.h"
#include "genSignalClass.h"
#include "planChecks.h"

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

// Raised-cosine cross-fade in place over a frame of `symbols` slots of
// `len` = n + p samples: each slot becomes its body followed by the
// faded-out start of that body overlapped with the faded-in prefix of the
// next symbol (the last slot fades into symbol 0). -3 when its working
// memory cannot be had, the frame then untouched.
int crossFade(std::complex<float>* x, int symbols, int n, int p) {
    const size_t twoP = 2 * static_cast<size_t>(p);
    Buffer<float> w(twoP);
    if (!w) return refuse(-3, "out of memory: %zu bytes for the cross-fade window", w.bytesFor(twoP));
    Buffer<std::complex<float>> tmp(twoP);
    if (!tmp) return refuse(-3, "out of memory: %zu bytes for the cross-fade", tmp.bytesFor(twoP));
    const float denom = static_cast<float>(2 * p - 1);
    for (int i = 0; i < 2 * p; ++i) w[i] = (1.0f - std::cos(static_cast<float>(i) * 6.2831855f / denom)) * 0.5f;
    const float* rise = w.get();
    const float* fall = w.get() + p;

    // Symbol 0's prefix is overwritten by its own slot before the last slot
    // needs it, and each body's head before its tail is built: keep both.
    std::complex<float>* prefix0 = tmp.get();
    std::complex<float>* head = tmp.get() + p;
    std::memcpy(prefix0, x, sizeof(std::complex<float>) * static_cast<size_t>(p));
    const size_t len = static_cast<size_t>(n) + static_cast<size_t>(p);
    for (int s = 0; s < symbols; ++s) {
        std::complex<float>* slot = x + static_cast<size_t>(s) * len;
        std::memcpy(head, slot + p, sizeof(std::complex<float>) * static_cast<size_t>(p));
        std::memmove(slot, slot + p, sizeof(std::complex<float>) * static_cast<size_t>(n));
        const std::complex<float>* next = s + 1 < symbols ? slot + len : prefix0;
        for (int j = 0; j < p; ++j) {
            const float re = std::fma(fall[j], head[j].real(), rise[j] * next[j].real());
            const float im = std::fma(fall[j], head[j].imag(), rise[j] * next[j].imag());
            slot[n + j] = {re, im};
        }
    }
    return 0;
}

struct OfdmPlan {
    int32_t type;
    int bitsPerPoint;  // k
    int fftSize;       // N, a power of two
    int symbols;       // S
    int guardLow;
    bool nullDC;
    bool windowing;
    int used;     // U subcarriers per symbol; 0 gives an empty frame
    int prefix;   // P, 0 ... N
    int samples;  // S * (N + P)
    int points;   // U * S
    int bits;     // k * U * S
};

const char kModTypeRule[] = "must be 1 (BPSK), 3 (QPSK), 7 (PSK8), 9 (PSK16), 10 (QAM16), 11 (QAM64) or 12 (QAM256)";

int planOfdm(const OFDMParams& p, OfdmPlan& plan) {
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

}  // namespace

int GenSignalClass::genOFDMSig(OFDMParams const* params, double, std::complex<float>** samples, int* sampleCount) {
    if (!params) return refuseNull("genOFDMSig", "params");
    if (!samples) return refuseNull("genOFDMSig", "samples");
    if (!sampleCount) return refuseNull("genOFDMSig", "sampleCount");
    OfdmPlan plan{};
    if (int rc = planOfdm(*params, plan)) return rc;

    if (plan.used == 0) {  // every position is a guard: an empty frame
        *samples = nullptr;
        *sampleCount = 0;
        return 0;
    }
    const int n = plan.fftSize;
    const int k = plan.bitsPerPoint;
    const int points = plan.points;
    Buffer<int> pos(static_cast<size_t>(plan.used));
    if (!pos) return refuse(-3, "out of memory: %zu bytes for the subcarrier positions", pos.bytesFor(plan.used));
    Buffer<signed char> bits(static_cast<size_t>(plan.bits));
    if (!bits) return refuse(-3, "out of memory: %zu bytes for the data bits", bits.bytesFor(plan.bits));
    Buffer<short> sym(static_cast<size_t>(points));
    if (!sym) return refuse(-3, "out of memory: %zu bytes for the data symbols", sym.bytesFor(points));
    Buffer<std::complex<float>> pts(static_cast<size_t>(points));
    if (!pts) return refuse(-3, "out of memory: %zu bytes for the constellation points", pts.bytesFor(points));
    Buffer<std::complex<float>> out(static_cast<size_t>(plan.samples));
    if (!out) return refuse(-3, "out of memory: %zu bytes for the OFDM frame", out.bytesFor(plan.samples));

    // Used positions from guardLow upwards, stepping over the centre when it
    // is to stay empty.
    const int centre = n / 2;
    for (int c = 0, q = plan.guardLow; c < plan.used; ++c) {
        if (plan.nullDC && q == centre) ++q;
        pos[c] = q++;
    }

    // The same PN start state on every call: the frame is a fixed function
    // of the record.
    func_PN_gen(9, kPnDataStart, bits.get(), plan.bits);
    for (int i = 0; i < points; ++i) sym[i] = bi2deForC(bits.get() + static_cast<size_t>(i) * k, k);
    bits.reset();

    const std::complex<float>* table = nullptr;
    double norm = 1.0;  // sqrt of the table's average power
    switch (plan.type) {
        case QAM16:
            table = qam16;
            norm = 3.1622776601683795;
            break;
        case QAM64:
            table = qam64;
            norm = 6.48074069840786;
            break;
        case QAM256:
            table = qam256;
            norm = 13.038404810405298;
            break;
        default: break;
    }
    if (table) {
        for (int i = 0; i < points; ++i) {
            const std::complex<float> v = table[sym[i]];
            pts[i] = {static_cast<float>(static_cast<double>(v.real()) / norm),
                      static_cast<float>(static_cast<double>(v.imag()) / norm)};
        }
    } else {
        DigitalModAPQAM(sym.get(), points, static_cast<DigitalModulType>(plan.type), 1, 1, pts.get());
    }
    sym.reset();

    int count = 0;
    ofdmmodForC(pts.get(), plan.symbols, n, plan.prefix, pos.get(), plan.used, out.get(), &count);
    if (plan.prefix > 0 && plan.windowing) {
        if (int rc = crossFade(out.get(), plan.symbols, n, plan.prefix)) return rc;
    }
    *samples = out.release();
    *sampleCount = count;
    return 0;
}
