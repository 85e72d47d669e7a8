// The digital modulation record's rules, each written once with its reason,
// and the counts the generation stages work from. Every count is checked
// to stay below 2^30 so that later int arithmetic cannot overflow.
#include "digitalPlan.h"

#include <cmath>
#include <cstdint>

#include "farrow.h"
#include "fskMod.h"
#include "lastError.h"
#include "planCount.h"
#include "rangeChecks.h"

namespace {

// Rates closer than this count as equal: no resampling.
constexpr double kRateTolerance = 1e-6;

bool isFsk(int modType) { return modType >= FSK2 && modType <= FSK16; }

}  // namespace

int planDigital(GenSignalClass& dsp, DigitalModParams const& params, double sampleRate, int symbolCount,
                DigitalPlan* plan) {
    countPlan();
    const DigitalModParams p = params;  // packed record: copy out before use
    DigitalPlan& q = *plan;
    q.modType = p.modType;
    int orderError = 0;
    dsp.getOrderM(p.modType, &q.M, &orderError);
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
