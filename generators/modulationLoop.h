// What the AM and FM loops share: whether the defined output is exactly a
// loop within the caps, the field their refusals name, and the rate at which
// the exact-position waves advance.
#pragma once

#include <cmath>
#include <cstdint>

#include "loopClosing.h"
#include "rangeChecks.h"

// Whether the defined output of `k` periods, `n` samples long, is exactly k
// natural periods within the loop caps.
inline bool definedIsLoop(const NaturalPeriod& period, double k, double n) {
    if (!period.samples || !(k >= 1) || !(n >= 1) || !countFits(n)) return false;
    const auto total = multiply(*period.samples, wholeRational(static_cast<uint64_t>(k)));
    return total && total->whole() && total->num == static_cast<u128>(n) &&
           withinLoopCaps({static_cast<int64_t>(k), static_cast<int64_t>(n)});
}

inline LoopField modFrequencyField(const char* field, size_t offset, double fm, double fs) {
    return {field, fm, closingRule(decimalRational(fs), FieldRole::divides), offset};
}

// Periods per sample, fm / fs, from the samples per period; the caps keep
// both terms within 64 bits.
inline Rational periodsPerSample(const NaturalPeriod& period) {
    return Rational{period.samples->den, period.samples->num};
}
