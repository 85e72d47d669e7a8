// OFDM frame: PN data on the used subcarriers of a centred layout, one
// inverse FFT per symbol, a cyclic prefix, and an optional raised-cosine
// cross-fade that also wraps from the last symbol to the first.
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "function.h"
#include "genSignalClass.h"

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

// Frees every pointer it was given when it goes out of scope.
struct Scratch {
    void* p[6] = {};
    int used = 0;
    void* keep(void* q) { return p[used++] = q; }
    ~Scratch() {
        for (int i = 0; i < used; ++i) std::free(p[i]);
    }
};

// Raised-cosine cross-fade in place over a frame of `symbols` slots of
// `len` = n + p samples: each slot becomes its body followed by the
// faded-out start of that body overlapped with the faded-in prefix of the
// next symbol (the last slot fades into symbol 0). False when scratch
// memory is missing.
bool crossFade(std::complex<float>* x, int symbols, int n, int p) {
    auto* w = static_cast<float*>(std::malloc(sizeof(float) * 2 * static_cast<size_t>(p)));
    auto* tmp = static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * 2 * static_cast<size_t>(p)));
    if (!w || !tmp) {
        std::free(w);
        std::free(tmp);
        return false;
    }
    const float denom = static_cast<float>(2 * p - 1);
    for (int i = 0; i < 2 * p; ++i) w[i] = (1.0f - std::cos(static_cast<float>(i) * 6.2831855f / denom)) * 0.5f;
    const float* rise = w;
    const float* fall = w + p;

    // Symbol 0's prefix is overwritten by its own slot before the last slot
    // needs it, and each body's head before its tail is built: keep both.
    std::complex<float>* prefix0 = tmp;
    std::complex<float>* head = tmp + p;
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
    std::free(w);
    std::free(tmp);
    return true;
}

}  // namespace

int GenSignalClass::genOFDMSig(OFDMParams const* params, double, std::complex<float>** samples, int* sampleCount) {
    if (!params || !samples || !sampleCount) return -1;
    const int32_t type = params->modType;
    const int k = bitsPerSymbol(type);
    if (k == 0) return -1;

    const int n = params->fftSize;
    const int symbols = params->numSymbols;
    const int guardLow = params->guardLow;
    const int guardHigh = params->guardHigh;
    const int cpPercent = params->cpPercent;
    const bool nullDC = params->nullDC != 0;
    // Guards or a prefix beyond the symbol would place data outside it.
    if (n < 1 || symbols < 1 || guardLow < 0 || guardHigh < 0 || cpPercent > 100) return -1;
    const int64_t used64 = static_cast<int64_t>(n) - guardLow - guardHigh - (nullDC ? 1 : 0);
    if (used64 < 0) return -1;
    const int used = static_cast<int>(used64);

    // A negative percentage means no prefix (and is not converted, since a
    // large one would not fit an int); 0 < p <= n otherwise.
    const int p = cpPercent > 0 ? static_cast<int>(n * (cpPercent / 100.0)) : 0;
    const int64_t len = static_cast<int64_t>(n) + p;
    if (!productFits(symbols, len)) return -1;
    const int total = static_cast<int>(symbols * len);

    if (used == 0) {  // every position is a guard: an empty frame
        *samples = nullptr;
        *sampleCount = 0;
        return 0;
    }
    if (!productFits(used, symbols)) return -1;
    const int points = used * symbols;
    if (!productFits(k, points)) return -1;
    const int bits = k * points;

    Scratch scratch;
    auto* pos = static_cast<int*>(scratch.keep(std::malloc(sizeof(int) * static_cast<size_t>(used))));
    auto* pts = static_cast<std::complex<float>*>(
        scratch.keep(std::malloc(sizeof(std::complex<float>) * static_cast<size_t>(points))));
    auto* bitBuf = static_cast<signed char*>(scratch.keep(std::malloc(static_cast<size_t>(bits))));
    auto* sym = static_cast<short*>(scratch.keep(std::malloc(sizeof(short) * static_cast<size_t>(points))));
    auto* out = static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * static_cast<size_t>(total)));
    if (!pos || !pts || !bitBuf || !sym || !out) {
        std::free(out);
        return -3;
    }

    // Used positions from guardLow upwards, stepping over the centre when it
    // is to stay empty.
    const int centre = n / 2;
    for (int c = 0, q = guardLow; c < used; ++c) {
        if (nullDC && q == centre) ++q;
        pos[c] = q++;
    }

    // The same PN start state on every call: the frame is a fixed function
    // of the record.
    func_PN_gen(9, kPnDataStart, bitBuf, bits);
    for (int i = 0; i < points; ++i) sym[i] = bi2deForC(bitBuf + static_cast<size_t>(i) * k, k);

    const std::complex<float>* table = nullptr;
    double norm = 1.0;  // sqrt of the table's average power
    switch (type) {
        case QAM16: table = qam16; norm = 3.1622776601683795; break;
        case QAM64: table = qam64; norm = 6.48074069840786; break;
        case QAM256: table = qam256; norm = 13.038404810405298; break;
        default: break;
    }
    if (table) {
        for (int i = 0; i < points; ++i) {
            const std::complex<float> v = table[sym[i]];
            pts[i] = {static_cast<float>(static_cast<double>(v.real()) / norm),
                      static_cast<float>(static_cast<double>(v.imag()) / norm)};
        }
    } else {
        DigitalModAPQAM(sym, points, static_cast<DigitalModulType>(type), 1, 1, pts);
    }

    int count = 0;
    ofdmmodForC(pts, symbols, n, p, pos, used, out, &count);
    if (count != total) {  // cannot happen with the checks above; never hand out a partial frame
        std::free(out);
        return -1;
    }
    if (p > 0 && params->windowing != 0 && !crossFade(out, symbols, n, p)) {
        std::free(out);
        return -3;
    }
    *samples = out;
    *sampleCount = count;
    return 0;
}
