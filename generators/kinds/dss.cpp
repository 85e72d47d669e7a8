#include "dss.h"

#include <cstddef>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

#include "bitHelpers.h"
#include "farrow.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "planCount.h"
#include "pnSequence.h"
#include "polyphaseFilter.h"
#include "rangeChecks.h"
#include "shapedLoop.h"
#include "shapedPeriod.h"
#include "shapingPipeline.h"

namespace {

using Sample = std::complex<float>;

// Rates closer than this count as equal: no resampling.
constexpr double kRateTolerance = 1e-9;

}  // namespace

int planDss(DSSParams const& params, double sampleRate, int bitCount, DssPlan* plan) {
    countPlan();
    const DSSParams p = params;  // packed record: copy out before use
    DssPlan& q = *plan;
    if (p.modType != BPSK) return refuse(-1, "DSSParams.modType = %d: must be 1 (BPSK)", p.modType);
    q.bitCount = bitCount;
    if (bitCount < 1) return refuse(-1, "bitCount = %d: must be at least 1", bitCount);
    q.sps = p.samplesPerChip;
    if (q.sps < 1) return refuse(-1, "DSSParams.samplesPerChip = %d: must be at least 1", q.sps);
    // Other orders would run a 9-element register on a shorter seed.
    q.pnOrder = p.pnOrder;
    if (q.pnOrder < 4 || q.pnOrder > 32) return refuse(-1, "DSSParams.pnOrder = %d: must be 4 to 32", q.pnOrder);
    q.pnSeed = p.pnSeed;
    if (!finitePositive(p.bitRate))
        return refuse(-1, "DSSParams.bitRate = %s: must be finite and above 0", numberText(p.bitRate).text);
    q.sampleRate = sampleRate;
    if (int rc = checkSampleRate(sampleRate)) return rc;
    if (checkPulseShape("DSSParams", p.filterType, p.filterSpan, p.rolloff, &q.shape)) return -1;
    const int S = q.shape.span;

    const int64_t chipsPerBit = static_cast<int64_t>(std::pow(2, q.pnOrder) - 1);
    if (!countFits(static_cast<double>(chipsPerBit)))
        return refuse(-1, "DSSParams.pnOrder = %d: its %lld chips per bit must stay below 2^30", q.pnOrder,
                      static_cast<long long>(chipsPerBit));
    if (!productFits(bitCount, chipsPerBit))
        return refuse(-1, "bitCount = %d: its %lld chips must stay below 2^30", bitCount,
                      static_cast<long long>(bitCount * chipsPerBit));
    q.chipsPerBit = static_cast<int>(chipsPerBit);
    q.chipCount = bitCount * q.chipsPerBit;
    // The cyclic extension repeats the first S chips.
    if (S > q.chipCount)
        return refuse(-1, "DSSParams.filterSpan = %d is above the %d chips of the burst", S, q.chipCount);
    q.symbolCount = S + q.chipCount;
    if (!productFits(q.symbolCount, q.sps))
        return refuse(-1, "bitCount = %d: its chip-rate signal of %lld samples must stay below 2^30", bitCount,
                      static_cast<long long>(q.symbolCount) * q.sps);
    q.tapCount = static_cast<int>(designedTapCount(q.shape.type, S, q.sps));
    q.shapedLength = q.symbolCount * q.sps - q.tapCount + 1;

    q.chipLockedRate = static_cast<double>(q.sps) * p.bitRate * static_cast<double>(q.chipsPerBit);
    if (!finitePositive(q.chipLockedRate))
        return refuse(-1, "DSSParams.bitRate = %s: times %d samples per chip and %d chips per bit must stay finite",
                      numberText(p.bitRate).text, q.sps, q.chipsPerBit);
    q.resample = std::fabs(sampleRate - q.chipLockedRate) > kRateTolerance;
    q.outputLength = q.shapedLength;
    return q.resample ? resampledLength(q.shapedLength, sampleRate, q.chipLockedRate, "chip-locked", q.outputLength)
                      : 0;
}

namespace {

// Chips: the code from the seed plus the data bit each chip spreads (modulo
// 2), every data bit - the fixed order-9 PN bits - over one code period;
// then the first S chips again at the end, so that the shaped burst wraps
// onto its start.
int makeChips(const DssPlan& plan, Buffer<signed char>& chips) {
    Buffer<signed char> data(plan.bitCount);
    if (!data) return outOfMemory<signed char>(-3, plan.bitCount, "data bits");
    GenSignalClass::func_PN_gen(9, kPnDataStart, data.get(), plan.bitCount);
    chips = Buffer<signed char>(plan.symbolCount);
    if (!chips) return outOfMemory<signed char>(-3, plan.symbolCount, "chips");
    signed char seed[32];  // the seed's low pnOrder bits, most significant first
    dec2binInto(plan.pnSeed, plan.pnOrder, seed);
    GenSignalClass::func_PN_gen(plan.pnOrder, seed, chips.get(), plan.chipCount);
    signed char* chip = chips.get();
    for (int b = 0; b < plan.bitCount; ++b, chip += plan.chipsPerBit)
        for (int j = 0; j < plan.chipsPerBit; ++j) chip[j] = static_cast<signed char>((chip[j] + data[b]) & 1);
    std::memcpy(chips.get() + plan.chipCount, chips.get(), static_cast<size_t>(plan.shape.span));
    return 0;
}

// Points: chip 0 as +1 and chip 1 as -1, the mapper's two BPSK points.
int mapPoints(const DssPlan& plan, const Buffer<signed char>& chips, Buffer<Sample>& points) {
    points = Buffer<Sample>(plan.symbolCount);
    if (!points) return outOfMemory<Sample>(-3, plan.symbolCount, "chip points");
    const short values[2] = {0, 1};
    Sample point[2];
    GenSignalClass::DigitalModAPQAM(values, 2, BPSK, plan.shape.span, 1, point);
    for (int i = 0; i < plan.symbolCount; ++i) points[i] = point[chips[i]];
    return 0;
}

// Shaped: only the fully overlapped stretch of the chip train, resampled
// from the chip-locked rate to the sample rate.
int shape(const DssPlan& plan, const Buffer<Sample>& points, const Buffer<float>& taps, GeneratedWave<Sample>& wave) {
    Buffer<Sample> signal(plan.outputLength);
    if (!signal)
        return outOfMemory<Sample>(-3, plan.outputLength, plan.resample ? "resampled signal" : "shaped signal");
    const ShapingJob job{points.get(),  plan.symbolCount, plan.sps,           taps.get(), plan.tapCount, 0,
                         plan.resample, plan.sampleRate,  plan.chipLockedRate};
    if (int rc = shapeAndResample(job, signal.get()); rc < 0) return rc;  // no scratch: -3
    wave.samples = std::move(signal);
    wave.length = plan.outputLength;
    return 0;
}

}  // namespace

int dssPeriodParts(const DssPlan& plan, Buffer<Sample>& points, Buffer<float>& taps) {
    {
        Buffer<signed char> chips;
        if (int rc = makeChips(plan, chips)) return rc;
        if (int rc = mapPoints(plan, chips, points)) return rc;
    }
    return designTaps(plan.shape, plan.sps, plan.tapCount, taps);
}

int GenSignalClass::genDSSSig(DSSParams const* params, double sampleRate, int bitCount, Sample** samples,
                              int* sampleCount) {
    return generateForCaller<DssPlan>(
        "genDSSSig", params, samples, sampleCount,
        [&](DssPlan& plan) { return planDss(*params, sampleRate, bitCount, &plan); },
        [&](const DssPlan& plan, GeneratedWave<Sample>& wave) { return genDSSSig(plan, wave); });
}

int GenSignalClass::genDSSSig(const DssPlan& plan, GeneratedWave<Sample>& wave) {
    Buffer<Sample> points;
    Buffer<float> taps;
    if (int rc = dssPeriodParts(plan, points, taps)) return rc;
    return shape(plan, points, taps, wave);
}

template <>
int DssKind::plan(const Params& p, const KindCall& call, Plan& plan) {
    return planDss(p, call.sampleRate, call.extra, &plan);
}

template <>
NaturalPeriod DssKind::period(const Params& params, const KindCall& call) {
    return periodOfSymbols(call.extra, call.sampleRate, params.bitRate);
}

template <>
bool DssKind::aboveNyquist(const Params& params, double fs, BandReason& why) {
    const DSSParams p = params;
    const double half = fs / 2;
    if (!(fs > 0) || !std::isfinite(fs) || !std::isfinite(p.bitRate) || !(p.bitRate > 0) || p.pnOrder < 4 ||
        p.pnOrder > 32)
        return false;
    const double chipRate = p.bitRate * (std::pow(2.0, p.pnOrder) - 1);
    const char* name = "";
    const double edge = pulseEdge(p.filterType, p.rolloff, chipRate, &name);
    if (!(edge > half)) return false;
    return say(why,
               "DSSParams.bitRate = %s: at %s chips/s the band edge, %s, %s Hz, lies above half the sample rate, "
               "%s Hz",
               numberText(p.bitRate).text, numberText(chipRate).text, name, numberText(edge).text,
               numberText(half).text);
}

template <>
int DssKind::generate(GenSignalClass& obj, const Plan& plan, const KindCall&, GeneratedWave<Sample>& wave,
                      MadeLoop& made) {
    if (plan.resample) made.seam = "the cubic resampler does not wrap around the chip period";
    return obj.genDSSSig(plan, wave);
}

template <>
int DssKind::loop(GenSignalClass&, const Params& p, const Plan& plan, const KindCall& call, const NaturalPeriod& period,
                  GeneratedWave<Sample>& wave, MadeLoop& made) {
    const double fs = call.sampleRate;
    const LoopField field =
        countAndRate("DSSParams.bitRate", offsetof(DSSParams, bitRate), p.bitRate, "bitCount", plan.bitCount, fs);
    LoopLength loop{};
    if (int rc = closeLoop(period, fs, field, loop)) return rc;
    int64_t num = 0, den = 0;
    const auto locked = product(decimalRational(p.bitRate), wholeRational(static_cast<uint64_t>(plan.sps) *
                                                                          static_cast<uint64_t>(plan.chipsPerBit)));
    if (int rc = lockedRatio(locked, fs, "DSSParams.bitRate", p.bitRate, num, den)) return rc;

    Buffer<Sample> points;
    Buffer<float> taps;
    if (int rc = dssPeriodParts(plan, points, taps)) return rc;
    const int64_t length = static_cast<int64_t>(plan.chipCount) * plan.sps;
    ShapedPeriod source(points.get(), stuffedFilter(taps.get(), plan.tapCount, plan.sps), length, 0);
    if (int rc = resampleInto(source, length, num, den, loop.samples, wave.samples)) return rc;
    wave.length = static_cast<int>(loop.samples);
    made.periods = loop.periods;
    return 0;
}
