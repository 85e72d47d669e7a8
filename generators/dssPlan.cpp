// The spread-spectrum record's rules, each written once with its reason,
// and the counts the generation stages work from. Every count is checked
// to stay below 2^30 so that later int arithmetic cannot overflow.
#include "dssPlan.h"

#include <cmath>
#include <cstdint>

#include "farrow.h"
#include "lastError.h"
#include "planCount.h"
#include "rangeChecks.h"

namespace {

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
