#include "recordReference.h"

#include <cmath>
#include <cstring>

#include "bitHelpers.h"
#include "constellation.h"
#include "digitalPlan.h"
#include "dssPlan.h"
#include "filterDesign.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "ofdmPlan.h"
#include "pnSequence.h"

namespace {

using Sample = std::complex<float>;

bool raisedCosine(int filterType) { return filterType == RCOS || filterType == RRCOS; }

// How many periods of P symbol-locked samples (at rate `locked`) a buffer
// of `samples` at `rate` holds: 1 for what the defined mode makes
// (`made`), else the whole number K with K P rate / locked = samples, as the
// exact loop mode makes them; 0 when neither.
int periodsIn(bool resample, int64_t made, int64_t samples, double rate, double locked, int64_t P) {
    if (samples == made) return 1;
    if (!resample || !(P > 0)) return 0;
    const double periods = static_cast<double>(samples) * locked / (rate * static_cast<double>(P));
    const double K = std::round(periods);
    if (!(K >= 1 && K <= 1 << 20)) return 0;
    return std::fabs(K * static_cast<double>(P) * rate / locked - static_cast<double>(samples)) < 1e-6 * samples
               ? static_cast<int>(K)
               : 0;
}

// The period's points `periods` times over.
int tilePoints(Buffer<Sample>& points, int64_t count, int periods) {
    if (periods == 1) return 0;
    Buffer<Sample> tiled(static_cast<size_t>(count) * periods);
    if (!tiled) return refuse(-1, "out of memory for %lld symbols", static_cast<long long>(count) * periods);
    for (int k = 0; k < periods; ++k) std::memcpy(tiled.get() + k * count, points.get(), sizeof(Sample) * count);
    points = std::move(tiled);
    return 0;
}

// The digital generator's symbols: PN bits from the seed, the bits of the
// first S symbols again at the end, packed and mapped (the differential
// kinds end with a copy of their first S points). The period is the first N.
int digitalPoints(GenSignalClass& dsp, const DigitalPlan& plan, Buffer<Sample>& points) {
    const size_t bitCount = static_cast<size_t>(plan.k) * plan.n;
    Buffer<signed char> bits(bitCount);
    Buffer<short> symbols(static_cast<size_t>(plan.n));
    points = Buffer<Sample>(static_cast<size_t>(plan.n), true);
    if (!bits || !symbols || !points) return refuse(-1, "out of memory for the record's %d symbols", plan.n);
    signed char seed[32];
    dec2binInto(plan.pnSeed, plan.pnOrder, seed);
    dsp.func_PN_gen(plan.pnOrder, seed, bits.get(), plan.k * plan.N);
    std::memcpy(bits.get() + static_cast<size_t>(plan.k) * plan.N, bits.get(),
                static_cast<size_t>(plan.k) * plan.shape.span);
    packSymbols(bits.get(), plan.k, plan.n, symbols.get());
    const DigitalModulType kind = plan.modType == OQPSK ? QPSK : plan.modType;
    dsp.DigitalModAPQAM(symbols.get(), plan.n, kind, plan.shape.span, 1, points.get());
    return 0;
}

int digitalReference(const DigitalModParams& params, int symbolCount, double rate, int64_t samples,
                     RecordReference& ref) {
    GenSignalClass dsp;
    DigitalPlan plan;
    if (planDigital(dsp, params, rate, symbolCount, &plan)) return -1;
    const DigitalModParams p = params;
    if (plan.fsk) {
        ref.evmStatus = GENSIGNAL_EVM_UNDEFINED;
        return 0;
    }
    if (raisedCosine(p.filterType)) ref.channelBandwidth = p.symbolRate * (1.0 + p.rolloff);
    const int64_t period = static_cast<int64_t>(plan.N) * plan.sps;
    const int K = periodsIn(plan.resample, plan.outputLength, samples, rate, plan.symbolLockedRate, period);
    ref.evmStatus = K > 0 ? GENSIGNAL_EVM_MEASURED : GENSIGNAL_EVM_MISMATCH;
    if (ref.evmStatus != GENSIGNAL_EVM_MEASURED) return 0;
    LinearReference& r = ref.linear;
    if (digitalPoints(dsp, plan, r.points) || tilePoints(r.points, plan.N, K)) return -1;
    if (designTaps(dsp, plan.shape, plan.sps, plan.tapCount, r.taps)) return refuse(-1, "out of memory for the taps");
    r.symbols = plan.N * K;
    r.sps = plan.sps;
    r.filter = plan.shape.type;
    r.tapCount = plan.tapCount;
    r.quadratureDelay = plan.modType == OQPSK ? plan.sps / 2 : 0;
    r.length = plan.resample ? period * K : plan.outputLength;
    r.bufferSamples = samples;
    r.periods = K;
    return 0;
}

// The spread-spectrum chips: the code from the seed plus, modulo 2, the
// fixed order-9 data bit each chip spreads, as the mapper's BPSK points.
int dssReference(const DSSParams& params, int bitCount, double rate, int64_t samples, RecordReference& ref) {
    DssPlan plan;
    if (planDss(params, rate, bitCount, &plan)) return -1;
    const DSSParams p = params;
    if (raisedCosine(p.filterType))
        ref.channelBandwidth = p.bitRate * static_cast<double>(plan.chipsPerBit) * (1.0 + p.rolloff);
    const int64_t period = static_cast<int64_t>(plan.chipCount) * plan.sps;
    const int K = periodsIn(plan.resample, plan.outputLength, samples, rate, plan.chipLockedRate, period);
    ref.evmStatus = K > 0 ? GENSIGNAL_EVM_MEASURED : GENSIGNAL_EVM_MISMATCH;
    if (ref.evmStatus != GENSIGNAL_EVM_MEASURED) return 0;
    GenSignalClass dsp;
    LinearReference& r = ref.linear;
    Buffer<signed char> data(static_cast<size_t>(plan.bitCount));
    Buffer<signed char> chips(static_cast<size_t>(plan.chipCount));
    r.points = Buffer<Sample>(static_cast<size_t>(plan.chipCount));
    if (!data || !chips || !r.points) return refuse(-1, "out of memory for the record's %d chips", plan.chipCount);
    dsp.func_PN_gen(9, kPnDataStart, data.get(), plan.bitCount);
    signed char seed[32];
    dec2binInto(plan.pnSeed, plan.pnOrder, seed);
    dsp.func_PN_gen(plan.pnOrder, seed, chips.get(), plan.chipCount);
    const short values[2] = {0, 1};
    Sample bpsk[2];
    dsp.DigitalModAPQAM(values, 2, BPSK, plan.shape.span, 1, bpsk);
    for (int i = 0; i < plan.chipCount; ++i) r.points[i] = bpsk[(chips[i] + data[i / plan.chipsPerBit]) & 1];
    if (tilePoints(r.points, plan.chipCount, K)) return -1;
    if (designTaps(dsp, plan.shape, plan.sps, plan.tapCount, r.taps)) return refuse(-1, "out of memory for the taps");
    r.symbols = plan.chipCount * K;
    r.sps = plan.sps;
    r.filter = plan.shape.type;
    r.tapCount = plan.tapCount;
    r.length = plan.resample ? period * K : plan.outputLength;
    r.bufferSamples = samples;
    r.periods = K;
    return 0;
}

// The OFDM generator's layout and data: the used positions from guardLow up
// (over the centre when it stays empty), PN bits from the fixed start state,
// the points of unit average power.
int ofdmReference(const OFDMParams& params, int64_t samples, double rate, RecordReference& ref) {
    const OFDMParams p = params;
    OfdmPlan plan;
    if (planOfdm(p, plan)) return -1;
    const int k = plan.bitsPerPoint, n = plan.fftSize, prefix = plan.prefix;
    const bool nullDC = plan.nullDC;
    const int64_t used = plan.used, length = plan.samples, points = plan.points;
    if (used == 0) {  // an empty frame carries nothing
        ref.evmStatus = GENSIGNAL_EVM_UNDEFINED;
        return 0;
    }

    // The used positions run from guardLow up, over the centre when it stays
    // empty: the band reaches from the first to the last of them.
    const int centre = n / 2;
    const int64_t lowest = p.guardLow + (nullDC && p.guardLow == centre ? 1 : 0);
    const int64_t highest = lowest + used - 1 + (nullDC && lowest < centre && lowest + used - 1 >= centre ? 1 : 0);
    ref.channelBandwidth = static_cast<double>(highest - lowest + 1) * (rate / n);
    if (p.numSymbols < 2) {
        ref.evmStatus = GENSIGNAL_EVM_ONE_SYMBOL;
        return 0;
    }
    ref.evmStatus = length == samples ? GENSIGNAL_EVM_MEASURED : GENSIGNAL_EVM_MISMATCH;
    if (ref.evmStatus != GENSIGNAL_EVM_MEASURED) return 0;

    OfdmReference& r = ref.frame;
    r.fftSize = n;
    r.prefix = prefix;
    r.symbols = p.numSymbols;
    r.used = static_cast<int>(used);
    r.bodyOffset = p.windowing != 0 && prefix > 0 ? 0 : prefix;
    r.length = length;
    r.bins = Buffer<int>(static_cast<size_t>(used));
    if (!r.bins) return refuse(-1, "out of memory for %lld subcarriers", static_cast<long long>(used));
    for (int c = 0, q = p.guardLow; c < r.used; ++c, ++q) {
        if (nullDC && q == centre) ++q;
        r.bins[c] = (q + centre) % n;  // the half exchange moves the centre to bin 0
    }

    GenSignalClass dsp;
    Buffer<signed char> bits(static_cast<size_t>(k * points));
    r.values = Buffer<short>(static_cast<size_t>(points));
    if (!bits || !r.values)
        return refuse(-1, "out of memory for the record's %lld subcarrier values", static_cast<long long>(points));
    dsp.func_PN_gen(9, kPnDataStart, bits.get(), static_cast<int>(k * points));
    packSymbols(bits.get(), k, static_cast<int>(points), r.values.get());
    Sample* table = r.table;
    const auto unitPower = [&](const Sample* grid, int count, double norm) {
        for (int i = 0; i < count; ++i)
            table[i] = {static_cast<float>(static_cast<double>(grid[i].real()) / norm),
                        static_cast<float>(static_cast<double>(grid[i].imag()) / norm)};
    };
    switch (p.modType) {
        case QAM16: unitPower(qam16, 16, 3.1622776601683795); break;
        case QAM64: unitPower(qam64, 64, 6.48074069840786); break;
        case QAM256: unitPower(qam256, 256, 13.038404810405298); break;
        default: {
            short every[16];
            for (int s = 0; s < (1 << k); ++s) every[s] = static_cast<short>(s);
            dsp.DigitalModAPQAM(every, 1 << k, static_cast<DigitalModulType>(p.modType), 1, 1, table);
        }
    }
    ref.ofdm = true;
    return 0;
}

}  // namespace

int makeRecordReference(int kind, const void* record, int argument, double sampleRate, int64_t samples,
                        RecordReference& ref) {
    ref = RecordReference();
    switch (kind) {
        case GENSIGNAL_RECORD_NONE: return 0;
        case GENSIGNAL_RECORD_DIGITAL:
            return digitalReference(*static_cast<const DigitalModParams*>(record), argument, sampleRate, samples, ref);
        case GENSIGNAL_RECORD_DSS:
            return dssReference(*static_cast<const DSSParams*>(record), argument, sampleRate, samples, ref);
        case GENSIGNAL_RECORD_OFDM:
            return ofdmReference(*static_cast<const OFDMParams*>(record), samples, sampleRate, ref);
        default: ref.evmStatus = GENSIGNAL_EVM_UNDEFINED; return 0;
    }
}
