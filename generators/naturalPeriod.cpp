#include "naturalPeriod.h"

#include <cmath>

NaturalPeriod periodOf(const std::optional<Rational>& numerator, const std::optional<Rational>& denominator,
                       double approximate, int32_t definedPeriods) {
    NaturalPeriod n;
    n.approximate = std::isfinite(approximate) ? approximate : 0;
    n.definedPeriods = definedPeriods;
    if (numerator && denominator && denominator->num != 0) n.samples = divide(*numerator, *denominator);
    return n;
}

std::optional<Rational> product(const std::optional<Rational>& a, const std::optional<Rational>& b) {
    if (!a || !b) return std::nullopt;
    return multiply(*a, *b);
}

std::optional<Rational> exactCount(int64_t n) {
    if (n < 0) return std::nullopt;
    return wholeRational(static_cast<uint64_t>(n));
}

GenSignalLoopInfo loopInfo(const NaturalPeriod& period, int64_t periods, int n, double fs, bool seamClosed) {
    GenSignalLoopInfo info{};
    info.samples = n;
    info.periods = static_cast<int32_t>(periods);
    info.samplesPerPeriod = period.samples ? period.samples->value() : period.approximate;
    info.loopDuration = n / fs;
    if (period.samples && periods >= 1 && seamClosed) {
        const auto total = multiply(*period.samples, wholeRational(static_cast<uint64_t>(periods)));
        info.wholePeriods = total && total->whole() && total->num == static_cast<u128>(n) ? 1 : 0;
    }
    return info;
}
