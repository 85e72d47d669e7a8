// Direct-sequence spread spectrum: PN data bits, each spread by one full
// period of a maximal-length code, BPSK chips extended cyclically by one
// filter span, pulse-shaped at a chip-locked rate and resampled to the host's.
//
// Each stage below takes what the previous one made and the plan, and
// answers 0 or -3 when its array cannot be had.
#include <complex>
#include <cstring>

#include "buffer.h"
#include "dssPlan.h"
#include "function.h"
#include "genSignalClass.h"
#include "lastError.h"

namespace {

using Sample = std::complex<float>;

template <class T>
int outOfMemory(size_t count, const char* what) {
    return refuse(-3, "out of memory: %zu bytes for the %s", Buffer<T>::bytesFor(count), what);
}

// Data: the fixed order-9 PN bits, each repeated over one code period.
int spreadData(GenSignalClass& dsp, const DssPlan& plan, Buffer<signed char>& spread) {
    Buffer<signed char> data(plan.bitCount);
    if (!data) return outOfMemory<signed char>(plan.bitCount, "data bits");
    dsp.func_PN_gen(9, kPnDataStart, data.get(), plan.bitCount);
    spread = Buffer<signed char>(plan.chipCount);
    if (!spread) return outOfMemory<signed char>(plan.chipCount, "spread data bits");
    dsp.rectpulseForC(data.get(), plan.bitCount, plan.chipsPerBit, spread.get());
    return 0;
}

// Chips: the code from the seed plus the data (modulo 2), then the first S
// chips again at the end, so that the shaped burst wraps onto its start.
int makeChips(GenSignalClass& dsp, const DssPlan& plan, Buffer<signed char>& chips) {
    Buffer<signed char> spread;
    if (int rc = spreadData(dsp, plan, spread)) return rc;
    chips = Buffer<signed char>(plan.symbolCount);
    if (!chips) return outOfMemory<signed char>(plan.symbolCount, "chips");
    signed char seed[32];  // the seed's low pnOrder bits, most significant first
    dec2binInto(plan.pnSeed, plan.pnOrder, seed);
    dsp.func_PN_gen(plan.pnOrder, seed, chips.get(), plan.chipCount);
    for (int i = 0; i < plan.chipCount; ++i) chips[i] = static_cast<signed char>((chips[i] + spread[i]) & 1);
    std::memcpy(chips.get() + plan.chipCount, chips.get(), static_cast<size_t>(plan.shape.span));
    return 0;
}

int designTaps(GenSignalClass& dsp, const DssPlan& plan, Buffer<float>& taps) {
    taps = Buffer<float>(plan.tapCount);
    if (!taps) return outOfMemory<float>(plan.tapCount, "filter taps");
    int tapCount = 0;
    int error = 0;  // the plan has checked the type
    dsp.getFilter(plan.shape.type, plan.shape.param, plan.shape.span, plan.sps, taps.get(), &tapCount, &error);
    return 0;
}

// Train: chip 0 as +1 and chip 1 as -1, sps samples apart, zeros between.
int mapTrain(GenSignalClass& dsp, const DssPlan& plan, Buffer<signed char>& chips, Buffer<Sample>& train) {
    train = Buffer<Sample>(plan.trainLength, true);
    if (!train) return outOfMemory<Sample>(plan.trainLength, "chip train");
    Buffer<short> symbols(plan.symbolCount);
    if (!symbols) return outOfMemory<short>(plan.symbolCount, "chip symbols");
    short* sym = symbols.get();
    const signed char* chip = chips.get();
#pragma omp parallel for schedule(static)
    for (int i = 0; i < plan.symbolCount; ++i) sym[i] = chip[i];
    chips.reset();
    dsp.DigitalModAPQAM(sym, plan.symbolCount, BPSK, plan.shape.span, plan.sps, train.get());
    return 0;
}

// Shaped: only the fully overlapped stretch.
int shapeTrain(GenSignalClass& dsp, const DssPlan& plan, const Buffer<Sample>& train, const Buffer<float>& taps,
               Buffer<Sample>& shaped) {
    shaped = Buffer<Sample>(plan.shapedLength);
    if (!shaped) return outOfMemory<Sample>(plan.shapedLength, "shaped signal");
    int length = 0;
    dsp.conv2_complex(train.get(), plan.trainLength, taps.get(), plan.tapCount, shaped.get(), &length);
    return 0;
}

// Resampled: from the chip-locked rate to the sample rate.
int resample(GenSignalClass& dsp, const DssPlan& plan, Buffer<Sample>& signal, int& length) {
    Buffer<Sample> resampled(plan.resampledRoom);
    if (!resampled) return outOfMemory<Sample>(plan.resampledRoom, "resampled signal");
    int K = 0;
    dsp.FarrowInterp(signal.get(), length, plan.sampleRate, plan.chipLockedRate, resampled.get(), &K);
    signal = std::move(resampled);
    length = K;
    return 0;
}

int generate(GenSignalClass& dsp, const DssPlan& plan, Buffer<Sample>& signal, int& length) {
    Buffer<float> taps;
    {
        Buffer<Sample> train;
        {
            Buffer<signed char> chips;
            if (int rc = makeChips(dsp, plan, chips)) return rc;
            if (int rc = designTaps(dsp, plan, taps)) return rc;
            if (int rc = mapTrain(dsp, plan, chips, train)) return rc;
        }
        if (int rc = shapeTrain(dsp, plan, train, taps, signal)) return rc;
    }
    taps.reset();
    length = plan.shapedLength;
    if (plan.resample)
        if (int rc = resample(dsp, plan, signal, length)) return rc;
    return 0;
}

}  // namespace

int GenSignalClass::genDSSSig(DSSParams const* params, double sampleRate, int bitCount, Sample** samples,
                              int* sampleCount) {
    if (!params) return refuse(-1, "genDSSSig: params is a null pointer");
    const char* null = !samples ? "samples" : !sampleCount ? "sampleCount" : nullptr;
    if (null) return refuse(-1, "genDSSSig: %s is a null pointer", null);
    DssPlan plan;
    if (int rc = planDss(*params, sampleRate, bitCount, &plan)) return rc;
    Buffer<Sample> signal;
    int length = 0;
    if (int rc = generate(*this, plan, signal, length)) return rc;
    *samples = signal.release();
    *sampleCount = length;
    return 0;
}
