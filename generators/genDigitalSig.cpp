// Digital modulation: PN bits, extended cyclically by one filter span,
// packed into symbols, mapped into a zero-stuffed train, pulse shaped and
// resampled to the sample rate. The FSK kinds hand symbols and taps to the
// FSK modulator instead. The result is one loopable period.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "function.h"
#include "genSignalClass.h"

namespace {

bool isFsk(int modType) { return modType >= FSK2 && modType <= FSK16; }

}  // namespace

int GenSignalClass::genDigitalSig(DigitalModParams const* params, double sampleRate, int symbolCount,
                                  std::complex<float>** samples, int& sampleCount) {
    if (!params || !samples) return -1;
    const DigitalModParams p = *params;  // packed record: copy out before use

    // Every check comes before the first allocation.
    int M = 0;
    int orderError = 0;
    getOrderM(p.modType, &M, &orderError);
    if (orderError != 0) return -1;
    if (p.filterType < RECT || p.filterType > HALF_SINE) return -1;
    const bool fsk = isFsk(p.modType);
    const int N = symbolCount;
    const int sps = p.samplesPerSymbol;
    const int S = (p.filterType == RECT || p.filterType == HALF_SINE) ? 1 : p.filterSpan;
    if (N < 1 || sps < 1 || S < (fsk ? 1 : 0) || S > N) return -1;
    if (!finitePositive(p.symbolRate) || !finitePositive(sampleRate)) return -1;
    // The PN register reads pnOrder seed bits; other orders would read more.
    if (p.pnOrder < 4 || p.pnOrder > 32) return -1;
    // The designs divide by the roll-off or BT; RECT and HALF_SINE ignore it.
    const float rolloff = static_cast<float>(p.rolloff);
    if (p.filterType != RECT && p.filterType != HALF_SINE && !std::isfinite(rolloff)) return -1;
    if ((p.filterType == RRCOS || p.filterType == GAUSSIAN) && !(rolloff > 0)) return -1;

    const int k = static_cast<int>(std::log2(static_cast<double>(M)));
    const int64_t n64 = static_cast<int64_t>(N) + S;
    const int64_t symbolRoom = fsk ? n64 + 1 : n64;  // FSK may append one level
    const int64_t trainSymbols = fsk ? n64 + (n64 & 1) : n64;
    if (!productFits(k, n64) || !countFits(static_cast<double>(symbolRoom))) return -1;
    if (!productFits(sps, trainSymbols)) return -1;
    const int64_t tapRoom = static_cast<int64_t>(S) * sps + 100;
    if (tapRoom >= kMaxSamples) return -1;
    const double R = static_cast<double>(sps) * p.symbolRate;
    if (!finitePositive(R)) return -1;
    const int n = static_cast<int>(n64);
    const int U = sps * n;
    // The FSK modulator's balance walk needs symbols between its guards.
    if (fsk && trainSymbols < 2 * static_cast<int64_t>(S) + 2) return -1;
    // Resampled lengths: the filtered signal is never longer than the train,
    // and the resampler's count grows with its input.
    const bool resample = fsk || std::fabs(sampleRate - R) > 1e-6;
    if (resample) {
        const int trainLen = static_cast<int>(sps * trainSymbols);
        if (!countFits(std::ceil(static_cast<double>(trainLen) * sampleRate / R))) return -1;
        if (farrowOutputLength(trainLen, sampleRate, R) < 0) return -1;
    }

    // Seed bits, most significant first, become register elements 0 ... pnOrder-1.
    signed char* seed = nullptr;
    try {
        dec2bin(p.pnSeed, p.pnOrder, &seed);
    } catch (const std::bad_alloc&) {
        return -3;
    }
    if (!seed) return -3;
    auto* bits = static_cast<signed char*>(std::malloc(static_cast<size_t>(k) * n));
    if (!bits) {
        delete[] seed;
        return -3;
    }
    func_PN_gen(p.pnOrder, seed, bits, k * N);
    delete[] seed;
    // Cyclic extension: the last S symbols repeat the first S (S <= N, so
    // source and destination never overlap).
    std::memcpy(bits + static_cast<size_t>(k) * N, bits, static_cast<size_t>(k) * S);

    auto* symbols = static_cast<short*>(std::malloc(sizeof(short) * static_cast<size_t>(symbolRoom)));
    if (!symbols) {
        std::free(bits);
        return -3;
    }
    for (int j = 0; j < n; ++j) symbols[j] = bi2deForC(bits + static_cast<size_t>(j) * k, k);
    std::free(bits);

    float* taps = new (std::nothrow) float[static_cast<size_t>(tapRoom)];
    if (!taps) {
        std::free(symbols);
        return -3;
    }
    int tapCount = 0;
    int filterError = 0;
    getFilter(p.filterType, static_cast<double>(rolloff), S, sps, taps, &tapCount, &filterError);
    if (filterError != 0) {
        delete[] taps;
        std::free(symbols);
        return filterError;
    }

    if (fsk) {
        std::complex<float>* y = nullptr;
        int K = 0;
        const int rc = DigitalModFSK(symbols, n, M, p.freqDeviation, sps, p.symbolRate, taps, tapCount, S,
                                     sampleRate, &y, &K);
        std::free(symbols);
        delete[] taps;
        if (rc != 0) return rc;
        *samples = y;
        sampleCount = K;
        return 0;
    }

    auto* train = static_cast<std::complex<float>*>(std::calloc(static_cast<size_t>(U), sizeof(std::complex<float>)));
    if (!train) {
        delete[] taps;
        std::free(symbols);
        return -3;
    }
    const DigitalModulType kind = p.modType == OQPSK ? QPSK : p.modType;
    DigitalModAPQAM(symbols, n, kind, S, sps, train);
    std::free(symbols);

    auto* signal = static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * static_cast<size_t>(U)));
    if (!signal) {
        std::free(train);
        delete[] taps;
        return -3;
    }
    int L = 0;
    conv2_complex(train, U, taps, tapCount, signal, &L);
    std::free(train);
    delete[] taps;

    if (p.modType == OQPSK) {
        // Quadrature delayed by half a symbol, cyclically within the period.
        auto* offset =
            static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * static_cast<size_t>(U)));
        if (!offset) {
            std::free(signal);
            return -3;
        }
        const int h = sps / 2;
        for (int i = 0; i < L; ++i) offset[i] = {signal[i].real(), signal[(i + L - h) % L].imag()};
        std::free(signal);
        signal = offset;
    }

    if (resample) {
        // Room for every sample the resampler writes: ceil(U * rate / R) is
        // short by one when the filtered length equals U (a single tap).
        const int ceilRoom = static_cast<int>(std::ceil(static_cast<double>(U) * sampleRate / R));
        const int room = std::max(ceilRoom, farrowOutputLength(L, sampleRate, R));
        auto* resampled =
            static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * static_cast<size_t>(room)));
        if (!resampled) {
            std::free(signal);
            return -3;
        }
        int K = 0;
        FarrowInterp(signal, L, sampleRate, R, resampled, &K);
        std::free(signal);
        signal = resampled;
        L = K;
    }

    *samples = signal;
    sampleCount = L;
    return 0;
}
