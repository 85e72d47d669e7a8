// Digital modulation: PN bits, extended cyclically by one filter span,
// packed into symbols, mapped into a zero-stuffed train, pulse shaped and
// resampled to the sample rate. The FSK kinds hand symbols and taps to the
// FSK modulator instead. The result is one loopable period.
//
// Each stage below takes what the previous one made and the plan, and
// answers 0 or -3 when its array cannot be had.
#include <complex>
#include <cstring>

#include "buffer.h"
#include "digitalPlan.h"
#include "function.h"
#include "genSignalClass.h"
#include "lastError.h"

namespace {

using Sample = std::complex<float>;

template <class T>
int outOfMemory(size_t count, const char* what) {
    return refuse(-3, "out of memory: %zu bytes for the %s", Buffer<T>::bytesFor(count), what);
}

// Bits: one period of PN bits from the seed, then the bits of its first S
// symbols again, so that the last S symbols repeat the first S.
int drawBits(GenSignalClass& dsp, const DigitalPlan& plan, Buffer<signed char>& bits) {
    const size_t count = static_cast<size_t>(plan.k) * plan.n;
    bits = Buffer<signed char>(count);
    if (!bits) return outOfMemory<signed char>(count, "PN bits");
    signed char seed[32];  // the seed's low pnOrder bits, most significant first
    dec2binInto(plan.pnSeed, plan.pnOrder, seed);
    dsp.func_PN_gen(plan.pnOrder, seed, bits.get(), plan.k * plan.N);
    // S <= N, so source and destination never overlap.
    std::memcpy(bits.get() + static_cast<size_t>(plan.k) * plan.N, bits.get(),
                static_cast<size_t>(plan.k) * plan.shape.span);
    return 0;
}

// Symbols: each group of k bits, the first bit least significant. The FSK
// kinds get room for the level their modulator may append.
int packSymbols(GenSignalClass& dsp, const DigitalPlan& plan, const Buffer<signed char>& bits, Buffer<short>& symbols) {
    symbols = Buffer<short>(plan.symbolRoom);
    if (!symbols) return outOfMemory<short>(plan.symbolRoom, "symbols");
    for (int j = 0; j < plan.n; ++j) symbols[j] = dsp.bi2deForC(bits.get() + static_cast<size_t>(j) * plan.k, plan.k);
    return 0;
}

int designTaps(GenSignalClass& dsp, const DigitalPlan& plan, Buffer<float>& taps) {
    taps = Buffer<float>(plan.tapCount);
    if (!taps) return outOfMemory<float>(plan.tapCount, "filter taps");
    int tapCount = 0;
    int error = 0;  // the plan has checked the type
    dsp.getFilter(plan.shape.type, plan.shape.param, plan.shape.span, plan.sps, taps.get(), &tapCount, &error);
    return 0;
}

// Train: every symbol's point, sps samples apart, zeros between.
int mapTrain(GenSignalClass& dsp, const DigitalPlan& plan, const Buffer<short>& symbols, Buffer<Sample>& train) {
    train = Buffer<Sample>(plan.trainLength, true);
    if (!train) return outOfMemory<Sample>(plan.trainLength, "symbol train");
    const DigitalModulType kind = plan.modType == OQPSK ? QPSK : plan.modType;
    dsp.DigitalModAPQAM(symbols.get(), plan.n, kind, plan.shape.span, plan.sps, train.get());
    return 0;
}

// Shaped: only the fully overlapped stretch, one period long.
int shapeTrain(GenSignalClass& dsp, const DigitalPlan& plan, const Buffer<Sample>& train, const Buffer<float>& taps,
               Buffer<Sample>& shaped) {
    shaped = Buffer<Sample>(plan.shapedLength);
    if (!shaped) return outOfMemory<Sample>(plan.shapedLength, "shaped signal");
    int length = 0;
    dsp.conv2_complex(train.get(), plan.trainLength, taps.get(), plan.tapCount, shaped.get(), &length);
    return 0;
}

// Offset (OQPSK): the quadrature delayed by half a symbol, cyclically
// within the period.
int offsetQuadrature(const DigitalPlan& plan, Buffer<Sample>& signal) {
    const int L = plan.shapedLength;
    Buffer<Sample> offset(L);
    if (!offset) return outOfMemory<Sample>(L, "offset signal");
    const int h = plan.sps / 2;
    for (int i = 0; i < L; ++i) offset[i] = {signal[i].real(), signal[(i + L - h) % L].imag()};
    signal = std::move(offset);
    return 0;
}

// Resampled: from the symbol-locked rate to the sample rate.
int resample(GenSignalClass& dsp, const DigitalPlan& plan, Buffer<Sample>& signal, int& length) {
    Buffer<Sample> resampled(plan.resampledRoom);
    if (!resampled) return outOfMemory<Sample>(plan.resampledRoom, "resampled signal");
    int K = 0;
    dsp.FarrowInterp(signal.get(), length, plan.sampleRate, plan.symbolLockedRate, resampled.get(), &K);
    signal = std::move(resampled);
    length = K;
    return 0;
}

// The FSK kinds: the modulator shapes, resamples and integrates the phase.
int modulateFsk(GenSignalClass& dsp, const DigitalPlan& plan, Buffer<short>& symbols, Buffer<float>& taps,
                Buffer<Sample>& signal, int& length) {
    Sample* y = nullptr;
    const int rc = dsp.DigitalModFSK(symbols.get(), plan.n, plan.M, plan.freqDeviation, plan.sps, plan.symbolRate,
                                     taps.get(), plan.tapCount, plan.shape.span, plan.sampleRate, &y, &length);
    // The plan has checked every argument; what is left to refuse is a PN
    // sequence whose levels the middle of the burst cannot balance.
    if (rc == -1)
        return refuse(-1, "symbolCount = %d is too short to balance the FSK levels of this PN sequence", plan.N);
    if (rc != 0) return rc;
    signal = Buffer<Sample>::adopt(y, static_cast<size_t>(length));
    return 0;
}

int generate(GenSignalClass& dsp, const DigitalPlan& plan, Buffer<Sample>& signal, int& length) {
    Buffer<short> symbols;
    {
        Buffer<signed char> bits;
        if (int rc = drawBits(dsp, plan, bits)) return rc;
        if (int rc = packSymbols(dsp, plan, bits, symbols)) return rc;
    }
    Buffer<float> taps;
    if (int rc = designTaps(dsp, plan, taps)) return rc;
    if (plan.fsk) return modulateFsk(dsp, plan, symbols, taps, signal, length);
    {
        Buffer<Sample> train;
        if (int rc = mapTrain(dsp, plan, symbols, train)) return rc;
        symbols.reset();
        if (int rc = shapeTrain(dsp, plan, train, taps, signal)) return rc;
    }
    taps.reset();
    length = plan.shapedLength;
    if (plan.modType == OQPSK)
        if (int rc = offsetQuadrature(plan, signal)) return rc;
    if (plan.resample)
        if (int rc = resample(dsp, plan, signal, length)) return rc;
    return 0;
}

}  // namespace

int GenSignalClass::genDigitalSig(DigitalModParams const* params, double sampleRate, int symbolCount,
                                  std::complex<float>** samples, int& sampleCount) {
    if (!params) return refuse(-1, "genDigitalSig: params is a null pointer");
    if (!samples) return refuse(-1, "genDigitalSig: samples is a null pointer");
    DigitalPlan plan;
    if (int rc = planDigital(*this, *params, sampleRate, symbolCount, &plan)) return rc;
    Buffer<Sample> signal;
    int length = 0;
    if (int rc = generate(*this, plan, signal, length)) return rc;
    *samples = signal.release();
    sampleCount = length;
    return 0;
}
