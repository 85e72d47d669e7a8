#include "digital.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

#include "bitHelpers.h"
#include "farrow.h"
#include "fskMod.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "planCount.h"
#include "rangeChecks.h"
#include "shapingPipeline.h"

namespace {

using Sample = std::complex<float>;

// Rates closer than this count as equal: no resampling.
constexpr double kRateTolerance = 1e-6;

bool isFsk(int modType) { return modType >= FSK2 && modType <= FSK16; }

}  // namespace

int planDigital(DigitalModParams const& params, double sampleRate, int symbolCount, DigitalPlan* plan) {
    countPlan();
    const DigitalModParams p = params;  // packed record: copy out before use
    DigitalPlan& q = *plan;
    q.modType = p.modType;
    int orderError = 0;
    GenSignalClass::getOrderM(p.modType, &q.M, &orderError);
    if (orderError != 0) return refuse(-1, "DigitalModParams.modType = %d: must be 1 to 22", p.modType);
    q.fsk = isFsk(p.modType);
    q.k = static_cast<int>(std::log2(static_cast<double>(q.M)));

    if (checkPulseShape("DigitalModParams", p.filterType, p.filterSpan, p.rolloff, &q.shape)) return -1;
    const int S = q.shape.span;
    // The FSK modulator puts at least one guard symbol at either end.
    if (q.fsk && S < 1)
        return refuse(-1, "DigitalModParams.filterSpan = %d: must be at least 1 for the FSK kinds", p.filterSpan);

    q.N = symbolCount;
    if (q.N < 1) return refuse(-1, "symbolCount = %d: must be at least 1", q.N);
    q.sps = p.samplesPerSymbol;
    if (q.sps < 1) return refuse(-1, "DigitalModParams.samplesPerSymbol = %d: must be at least 1", q.sps);
    // The cyclic extension repeats the first S symbols of the period.
    if (S > q.N) return refuse(-1, "symbolCount = %d is below the filter span %d", q.N, S);

    q.symbolRate = p.symbolRate;
    if (!finitePositive(q.symbolRate))
        return refuse(-1, "DigitalModParams.symbolRate = %s: must be finite and above 0",
                      numberText(q.symbolRate).text);
    q.sampleRate = sampleRate;
    if (int rc = checkSampleRate(sampleRate)) return rc;
    // Other orders would run a 9-element register on a shorter seed.
    q.pnOrder = p.pnOrder;
    if (q.pnOrder < 4 || q.pnOrder > 32) return refuse(-1, "DigitalModParams.pnOrder = %d: must be 4 to 32", q.pnOrder);
    q.pnSeed = p.pnSeed;
    q.freqDeviation = p.freqDeviation;

    const int64_t n = static_cast<int64_t>(q.N) + S;
    if (!productFits(q.k, n))
        return refuse(-1, "symbolCount = %d: its %lld PN bits must stay below 2^30", q.N,
                      static_cast<long long>(q.k * n));
    const int64_t symbolRoom = q.fsk ? n + 1 : n;
    if (!countFits(static_cast<double>(symbolRoom)))
        return refuse(-1, "symbolCount = %d: its %lld symbols must stay below 2^30", q.N,
                      static_cast<long long>(symbolRoom));
    const int64_t trainSymbols = q.fsk ? fskLevelCount(n) : n;
    if (!productFits(q.sps, trainSymbols))
        return refuse(-1, "symbolCount = %d: its symbol train of %lld samples must stay below 2^30", q.N,
                      static_cast<long long>(q.sps * trainSymbols));
    q.n = static_cast<int>(n);
    q.symbolRoom = static_cast<int>(symbolRoom);
    // Below the train's length, as S <= N.
    q.tapCount = static_cast<int>(designedTapCount(q.shape.type, S, q.sps));
    q.shapedLength = static_cast<int>(q.sps * trainSymbols) - q.tapCount + 1;

    q.symbolLockedRate = static_cast<double>(q.sps) * q.symbolRate;
    if (!finitePositive(q.symbolLockedRate))
        return refuse(-1, "DigitalModParams.symbolRate = %s: times samplesPerSymbol %d must stay finite",
                      numberText(q.symbolRate).text, q.sps);

    if (q.fsk && !fskGuardsLeaveRoom(trainSymbols, S))
        return refuse(-1, "symbolCount = %d leaves no symbol between the FSK guards of %d symbols", q.N, S);

    // The FSK modulator always resamples.
    q.resample = q.fsk || std::fabs(sampleRate - q.symbolLockedRate) > kRateTolerance;
    q.outputLength = q.shapedLength;
    return q.resample ? resampledLength(q.shapedLength, sampleRate, q.symbolLockedRate, "symbol-locked", q.outputLength)
                      : 0;
}

namespace {

// Bits: one period of PN bits from the seed, then the bits of its first S
// symbols again, so that the last S symbols repeat the first S.
int drawBits(const DigitalPlan& plan, Buffer<signed char>& bits) {
    const size_t count = static_cast<size_t>(plan.k) * plan.n;
    bits = Buffer<signed char>(count);
    if (!bits) return outOfMemory<signed char>(-3, count, "PN bits");
    signed char seed[32];  // the seed's low pnOrder bits, most significant first
    dec2binInto(plan.pnSeed, plan.pnOrder, seed);
    GenSignalClass::func_PN_gen(plan.pnOrder, seed, bits.get(), plan.k * plan.N);
    // S <= N, so source and destination never overlap.
    std::memcpy(bits.get() + static_cast<size_t>(plan.k) * plan.N, bits.get(),
                static_cast<size_t>(plan.k) * plan.shape.span);
    return 0;
}

// Symbols: each group of k bits, the first bit least significant. The FSK
// kinds get room for the level their modulator may append.
int makeSymbols(const DigitalPlan& plan, Buffer<short>& symbols) {
    Buffer<signed char> bits;
    if (int rc = drawBits(plan, bits)) return rc;
    symbols = Buffer<short>(plan.symbolRoom);
    if (!symbols) return outOfMemory<short>(-3, plan.symbolRoom, "symbols");
    packSymbols(bits.get(), plan.k, plan.n, symbols.get());
    return 0;
}

// Points: one per symbol; the differential kinds end with a copy of their
// first S points.
int mapPoints(const DigitalPlan& plan, const Buffer<short>& symbols, Buffer<Sample>& points) {
    points = Buffer<Sample>(plan.n, true);
    if (!points) return outOfMemory<Sample>(-3, plan.n, "symbol points");
    const DigitalModulType kind = plan.modType == OQPSK ? QPSK : plan.modType;
    GenSignalClass::DigitalModAPQAM(symbols.get(), plan.n, kind, plan.shape.span, 1, points.get());
    return 0;
}

// Shaped: only the fully overlapped stretch of the train, one period long;
// OQPSK's quadrature delayed by half a symbol, cyclically within the
// period; resampled from the symbol-locked rate to the sample rate.
int shape(const DigitalPlan& plan, const Buffer<Sample>& points, const Buffer<float>& taps,
          GeneratedWave<Sample>& wave) {
    Buffer<Sample> signal(plan.outputLength);
    if (!signal)
        return outOfMemory<Sample>(-3, plan.outputLength, plan.resample ? "resampled signal" : "shaped signal");
    const int delay = plan.modType == OQPSK ? plan.sps / 2 : 0;
    const ShapingJob job{points.get(), plan.n,        plan.sps,        taps.get(),           plan.tapCount,
                         delay,        plan.resample, plan.sampleRate, plan.symbolLockedRate};
    if (int rc = shapeAndResample(job, signal.get()); rc < 0) return rc;  // no scratch: -3
    wave.samples = std::move(signal);
    wave.length = plan.outputLength;
    return 0;
}

// The FSK kinds: the modulator shapes, resamples and integrates the phase.
int fskSignal(const DigitalPlan& plan, Buffer<short>& symbols, Buffer<float>& taps, GeneratedWave<Sample>& wave) {
    const FskBurst burst{plan.n,           plan.M,          plan.freqDeviation,    plan.sps,
                         plan.tapCount,    plan.shape.span, plan.symbolLockedRate, plan.sampleRate,
                         plan.outputLength};
    const int rc = modulateFsk(symbols.get(), taps.get(), burst, wave.samples);
    // What the plan cannot judge is a PN sequence whose levels the middle
    // of the burst cannot balance.
    if (rc == -1)
        return refuse(-1, "symbolCount = %d is too short to balance the FSK levels of this PN sequence", plan.N);
    if (rc != 0) return rc;
    wave.length = plan.outputLength;
    return 0;
}

}  // namespace

int digitalPeriodParts(const DigitalPlan& plan, Buffer<short>& symbols, Buffer<Sample>& points, Buffer<float>& taps) {
    if (int rc = makeSymbols(plan, symbols)) return rc;
    if (int rc = designTaps(plan.shape, plan.sps, plan.tapCount, taps)) return rc;
    return plan.fsk ? 0 : mapPoints(plan, symbols, points);
}

int GenSignalClass::genDigitalSig(DigitalModParams const* params, double sampleRate, int symbolCount,
                                  std::complex<float>** samples, int& sampleCount) {
    return generateForCaller<DigitalPlan>(
        "genDigitalSig", params, samples, &sampleCount,
        [&](DigitalPlan& plan) { return planDigital(*params, sampleRate, symbolCount, &plan); },
        [&](const DigitalPlan& plan, GeneratedWave<Sample>& wave) { return genDigitalSig(plan, wave); });
}

int GenSignalClass::genDigitalSig(const DigitalPlan& plan, GeneratedWave<Sample>& wave) {
    Buffer<short> symbols;
    Buffer<Sample> points;
    Buffer<float> taps;
    if (int rc = digitalPeriodParts(plan, symbols, points, taps)) return rc;
    if (plan.fsk) return fskSignal(plan, symbols, taps, wave);
    symbols.reset();
    return shape(plan, points, taps, wave);
}

template <>
int DigitalKind::plan(const Params& p, const KindCall& call, Plan& plan) {
    return planDigital(p, call.sampleRate, call.extra, &plan);
}

template <>
NaturalPeriod DigitalKind::period(const Params& params, const KindCall& call) {
    return periodOfSymbols(call.extra, call.sampleRate, params.symbolRate);
}

template <>
bool DigitalKind::aboveNyquist(const Params& params, double fs, BandReason& why) {
    const DigitalModParams p = params;
    const double half = fs / 2;
    if (!(fs > 0) || !std::isfinite(fs) || !std::isfinite(p.symbolRate) || !(p.symbolRate > 0)) return false;
    if (p.modType >= FSK2 && p.modType <= FSK16) {
        if (!std::isfinite(p.freqDeviation)) return false;
        const double edge = std::fabs(p.freqDeviation) + p.symbolRate / 2;
        if (!(edge > half)) return false;
        return say(why,
                   "DigitalModParams.freqDeviation = %s: the outermost FSK tone plus half the symbol rate, %s Hz, "
                   "lies above half the sample rate, %s Hz",
                   numberText(p.freqDeviation).text, numberText(edge).text, numberText(half).text);
    }
    const char* name = "";
    const double edge = pulseEdge(p.filterType, p.rolloff, p.symbolRate, &name);
    if (!(edge > half)) return false;
    return say(why,
               "DigitalModParams.symbolRate = %s: the band edge, %s, %s Hz, lies above half the sample rate, %s Hz",
               numberText(p.symbolRate).text, name, numberText(edge).text, numberText(half).text);
}

template <>
int DigitalKind::generate(GenSignalClass& obj, const Plan& plan, const KindCall&, GeneratedWave<Sample>& wave,
                          MadeLoop& made) {
    if (plan.fsk)
        made.seam = "the FSK modulator's guard and balancing symbols and its resampler do not wrap";
    else if (plan.resample)
        made.seam = "the cubic resampler does not wrap around the symbol period";
    return obj.genDigitalSig(plan, wave);
}

template <>
int DigitalKind::loop(GenSignalClass&, const Params& p, const Plan& plan, const KindCall& call,
                      const NaturalPeriod& period, GeneratedWave<Sample>& wave, MadeLoop& made) {
    return digitalLoop(p, plan, call.sampleRate, period, wave, made);
}
