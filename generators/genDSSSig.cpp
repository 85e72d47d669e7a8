// Direct-sequence spread spectrum: PN data bits, each spread by one full
// period of a maximal-length code, BPSK chips extended cyclically by one
// filter span, pulse-shaped at a chip-locked rate and resampled to the host's.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "function.h"
#include "genSignalClass.h"

namespace {

using Sample = std::complex<float>;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
// A malloc'd working array, released on every way out.
template <class T>
using Buffer = std::unique_ptr<T, FreeDeleter>;

template <class T>
Buffer<T> allocate(int count) {
    return Buffer<T>(static_cast<T*>(std::malloc(sizeof(T) * static_cast<size_t>(count))));
}

// Rates closer than this count as equal: no resampling.
constexpr double kRateTolerance = 1e-9;

// Tap count that getFilter designs for a valid type.
int designedTapCount(int type, int span, int sps) {
    switch (type) {
        case RCOS:
        case RRCOS:
            return 2 * (span * sps / 2) + 1;
        case GAUSSIAN:
            return span * sps + 1;
        default:  // RECT, HALF_SINE
            return sps + 1;
    }
}

}  // namespace

int GenSignalClass::genDSSSig(DSSParams const* params, double sampleRate, int bitCount, Sample** samples,
                              int* sampleCount) {
    if (!params || params->modType != BPSK) return -1;
    if (!samples || !sampleCount) return -1;

    // Everything that could fail for a reason other than memory is refused
    // here, before the first allocation.
    const int order = params->pnOrder;
    const int sps = params->samplesPerChip;
    const int type = params->filterType;
    const double bitRate = params->bitRate;
    if (bitCount < 1 || sps < 1) return -1;
    // Outside 4 ... 32 the PN generator would run order 9 on a shorter start state.
    if (order < 4 || order > 32) return -1;
    if (!finitePositive(bitRate) || !finitePositive(sampleRate)) return -1;
    if (type < RECT || type > HALF_SINE) return -1;
    const bool fixedSpan = type == RECT || type == HALF_SINE;
    const int span = fixedSpan ? 1 : params->filterSpan;
    if (span < 0) return -1;

    // The shape parameter is used in single precision. Where a design reads
    // it, a value with no finite float, or a non-positive one where the
    // design divides by it, would give NaN taps.
    double shape = 0;  // RECT and HALF_SINE ignore it
    if (!fixedSpan) {
        if (!(std::fabs(params->rolloff) <= FLT_MAX)) return -1;
        shape = static_cast<float>(params->rolloff);
        if (type != RCOS && !(shape > 0)) return -1;
    }

    // Chips per bit, chips and chip-rate samples, each below 2^30; the
    // cyclic extension needs span <= chips.
    const int64_t chipsPerBit = static_cast<int64_t>(std::pow(2, order) - 1);
    if (!productFits(bitCount, chipsPerBit)) return -1;
    const int perBit = static_cast<int>(chipsPerBit);
    const int chipCount = bitCount * perBit;
    if (span > chipCount) return -1;
    const int symbolCount = span + chipCount;
    if (!productFits(symbolCount, sps)) return -1;
    const int total = symbolCount * sps;
    const int tapCount = designedTapCount(type, span, sps);
    const int shapedCount = total - tapCount + 1;

    const double internalRate = static_cast<double>(sps) * bitRate * static_cast<double>(perBit);
    if (!finitePositive(internalRate)) return -1;
    const bool resample = std::fabs(sampleRate - internalRate) > kRateTolerance;
    // Room for the resampler: the rounded-up rate ratio, or its exact output
    // count where rounding makes that one larger.
    int resampledRoom = 0;
    if (resample) {
        const double estimate = std::ceil(static_cast<double>(total) * sampleRate / internalRate);
        const int exact = farrowOutputLength(shapedCount, sampleRate, internalRate);
        if (!countFits(estimate) || exact < 0) return -1;
        resampledRoom = std::max(static_cast<int>(estimate), exact);
    }

    // Data bits, each repeated over one code period.
    Buffer<signed char> spreadData;
    {
        Buffer<signed char> data = allocate<signed char>(bitCount);
        if (!data) return -3;
        func_PN_gen(9, kPnDataStart, data.get(), bitCount);
        spreadData = allocate<signed char>(chipCount);
        if (!spreadData) return -3;
        rectpulseForC(data.get(), bitCount, perBit, spreadData.get());
    }

    // Code chips from the seed (most significant bit first), plus room for
    // the cyclic extension.
    Buffer<signed char> chipBuffer;
    {
        signed char* seedBits = nullptr;
        try {
            dec2bin(params->pnSeed, order, &seedBits);
        } catch (const std::bad_alloc&) {
            return -3;
        }
        std::unique_ptr<signed char[]> seed(seedBits);
        chipBuffer = allocate<signed char>(symbolCount);
        if (!chipBuffer) return -3;
        func_PN_gen(order, seed.get(), chipBuffer.get(), chipCount);
    }
    signed char* chips = chipBuffer.get();
    const signed char* spread = spreadData.get();
    for (int i = 0; i < chipCount; ++i) chips[i] = static_cast<signed char>((chips[i] + spread[i]) & 1);
    spreadData.reset();
    // The first span of chips again at the end: the shaped burst then wraps
    // onto its own start.
    std::memcpy(chips + chipCount, chips, static_cast<size_t>(span));

    std::unique_ptr<float[]> taps(new (std::nothrow) float[static_cast<size_t>(span) * sps + 100]);
    if (!taps) return -3;
    int designed = 0;
    int status = 0;
    getFilter(static_cast<FilterType>(type), shape, span, sps, taps.get(), &designed, &status);
    if (status != 0) return status;
    if (designed != tapCount) return -1;  // the counts above were checked for this length

    Buffer<Sample> mapped(static_cast<Sample*>(std::calloc(static_cast<size_t>(total), sizeof(Sample))));
    if (!mapped) return -3;
    {
        Buffer<short> symbols = allocate<short>(symbolCount);
        if (!symbols) return -3;
        short* sym = symbols.get();
#pragma omp parallel for schedule(static)
        for (int i = 0; i < symbolCount; ++i) sym[i] = chips[i];
        chipBuffer.reset();
        DigitalModAPQAM(sym, symbolCount, BPSK, span, sps, mapped.get());
    }

    Buffer<Sample> shaped = allocate<Sample>(total);
    if (!shaped) return -3;
    int shapedLen = 0;
    conv2_complex(mapped.get(), total, taps.get(), tapCount, shaped.get(), &shapedLen);
    mapped.reset();
    taps.reset();

    if (!resample) {
        *samples = shaped.release();
        *sampleCount = shapedLen;
        return 0;
    }
    Buffer<Sample> out = allocate<Sample>(resampledRoom);
    if (!out) return -3;
    int outLen = 0;
    FarrowInterp(shaped.get(), shapedLen, sampleRate, internalRate, out.get(), &outLen);
    *samples = out.release();
    *sampleCount = outLen;
    return 0;
}
