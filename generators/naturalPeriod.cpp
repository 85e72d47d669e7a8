#include "naturalPeriod.h"

#include <cmath>

#include "modulatingWave.h"

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

NaturalPeriod periodOfDuration(double seconds, double sampleRate) {
    return periodOf(product(decimalRational(seconds), decimalRational(sampleRate)), Rational{1, 1},
                    seconds * sampleRate);
}

NaturalPeriod periodOfSymbols(int64_t count, double sampleRate, double rate) {
    return periodOf(product(exactCount(count), decimalRational(sampleRate)), decimalRational(rate),
                    static_cast<double>(count) * sampleRate / rate);
}

NaturalPeriod periodOfModulation(double sampleRate, double frequency) {
    const double q = sampleRate / frequency;
    const int32_t periods = std::isfinite(q) ? static_cast<int32_t>(wholePeriodCount(q)) : 1;
    return periodOf(decimalRational(sampleRate), decimalRational(frequency), q, periods);
}
