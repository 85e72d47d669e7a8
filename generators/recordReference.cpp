#include "recordReference.h"

#include <cmath>
#include <cstring>

#include "digital.h"
#include "dss.h"
#include "lastError.h"
#include "ofdm.h"

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

// The period's first `count` points `periods` times over.
int tilePoints(Buffer<Sample>& points, int64_t count, int periods) {
    if (periods == 1) return 0;
    Buffer<Sample> tiled(static_cast<size_t>(count) * periods);
    if (!tiled) return refuse(-1, "out of memory for %lld symbols", static_cast<long long>(count) * periods);
    for (int k = 0; k < periods; ++k)
        std::memcpy(static_cast<void*>(tiled.get() + k * count), points.get(), sizeof(Sample) * count);
    points = std::move(tiled);
    return 0;
}

// A stage that could not have its memory: the measurements answer -1.
int noMemory(int rc) { return rc ? -1 : 0; }

int digitalReference(const DigitalModParams& params, int symbolCount, double rate, int64_t samples,
                     RecordReference& ref) {
    DigitalPlan plan;
    if (planDigital(params, rate, symbolCount, &plan)) return -1;
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
    Buffer<short> symbols;
    if (int rc = digitalPeriodParts(plan, symbols, r.points, r.taps)) return noMemory(rc);
    if (tilePoints(r.points, plan.N, K)) return -1;
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
    LinearReference& r = ref.linear;
    if (int rc = dssPeriodParts(plan, r.points, r.taps)) return noMemory(rc);
    if (tilePoints(r.points, plan.chipCount, K)) return -1;
    r.symbols = plan.chipCount * K;
    r.sps = plan.sps;
    r.filter = plan.shape.type;
    r.tapCount = plan.tapCount;
    r.length = plan.resample ? period * K : plan.outputLength;
    r.bufferSamples = samples;
    r.periods = K;
    return 0;
}

int ofdmReference(const OFDMParams& params, int64_t samples, double rate, RecordReference& ref) {
    const OFDMParams p = params;
    OfdmPlan plan;
    if (planOfdm(p, plan)) return -1;
    if (plan.used == 0) {  // an empty frame carries nothing
        ref.evmStatus = GENSIGNAL_EVM_UNDEFINED;
        return 0;
    }
    // The used positions run from guardLow up, over the centre when it stays
    // empty: the band reaches from the first to the last of them.
    const int n = plan.fftSize, centre = n / 2;
    const int64_t used = plan.used;
    const int64_t lowest = p.guardLow + (plan.nullDC && p.guardLow == centre ? 1 : 0);
    const int64_t highest = lowest + used - 1 + (plan.nullDC && lowest < centre && lowest + used - 1 >= centre ? 1 : 0);
    ref.channelBandwidth = static_cast<double>(highest - lowest + 1) * (rate / n);
    if (p.numSymbols < 2) {
        ref.evmStatus = GENSIGNAL_EVM_ONE_SYMBOL;
        return 0;
    }
    ref.evmStatus = plan.samples == samples ? GENSIGNAL_EVM_MEASURED : GENSIGNAL_EVM_MISMATCH;
    if (ref.evmStatus != GENSIGNAL_EVM_MEASURED) return 0;

    OfdmReference& r = ref.frame;
    r.fftSize = n;
    r.prefix = plan.prefix;
    r.symbols = plan.symbols;
    r.used = plan.used;
    r.bodyOffset = plan.windowing && plan.prefix > 0 ? 0 : plan.prefix;
    r.length = plan.samples;
    Buffer<int> positions;
    if (int rc = ofdmFrameData(plan, positions, r.values, r.table)) return noMemory(rc);
    r.bins = std::move(positions);
    for (int c = 0; c < r.used; ++c)
        r.bins[c] = (r.bins[c] + centre) % n;  // the half exchange moves the centre to bin 0
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
