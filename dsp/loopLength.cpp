#include "loopLength.h"

#include <cmath>
#include <limits>

namespace {

constexpr u128 kInt64Max = static_cast<u128>(std::numeric_limits<int64_t>::max());

// Samples per period for the field value `x` (a fraction).
std::optional<Rational> samplesPerPeriod(const Rational& x, const ClosingRule& rule) {
    return rule.role == FieldRole::scales ? multiply(rule.K, x) : divide(rule.K, x);
}

// The field value that gives `samples` per period.
std::optional<Rational> valueFor(const Rational& samples, const ClosingRule& rule) {
    return rule.role == FieldRole::scales ? divide(samples, rule.K) : divide(rule.K, samples);
}

bool closes(const Rational& samples, const ClosingRule& rule) {
    const auto loop = fewestWholePeriods(samples, rule.multipleOf);
    return loop && withinLoopCaps(*loop, rule.maxPeriods);
}

}  // namespace

std::optional<LoopLength> fewestWholePeriods(const Rational& samplesPerPeriod, uint64_t multipleOf) {
    if (multipleOf == 0) return std::nullopt;
    // P must be a multiple of the denominator (in lowest terms) and of
    // `multipleOf`: their least common multiple.
    const u128 den = samplesPerPeriod.den;
    const u128 g = gcd128(den, multipleOf);
    const u128 periods = den / g * multipleOf;
    if (periods > kInt64Max || periods / multipleOf != den / g) return std::nullopt;
    const u128 each = periods / den;  // whole number of numerators
    if (samplesPerPeriod.num != 0 && each > kInt64Max / samplesPerPeriod.num) return std::nullopt;
    const u128 samples = samplesPerPeriod.num * each;
    if (samples > kInt64Max) return std::nullopt;
    return LoopLength{static_cast<int64_t>(periods), static_cast<int64_t>(samples)};
}

bool withinLoopCaps(const LoopLength& loop, int64_t maxPeriods) {
    return loop.periods >= 1 && loop.periods <= maxPeriods && loop.samples >= 1 && loop.samples <= kMaxLoopSamples;
}

std::optional<LoopLength> loopFor(double x, const ClosingRule& rule) {
    const auto value = decimalRational(x);
    if (!value) return std::nullopt;
    const auto samples = samplesPerPeriod(*value, rule);
    if (!samples) return std::nullopt;
    return fewestWholePeriods(*samples, rule.multipleOf);
}

std::optional<double> nearestClosingValue(double x, const ClosingRule& rule) {
    if (!(x > 0) || !std::isfinite(x)) return std::nullopt;
    const double k = rule.K.value();
    const double s0 = rule.role == FieldRole::scales ? k * x : k / x;
    if (!(s0 > 0) || !(s0 < static_cast<double>(kMaxLoopSamples) * 2)) return std::nullopt;
    std::optional<double> best;
    double bestDistance = 0;
    for (int64_t b = 1; b <= rule.maxPeriods; ++b) {
        const double centre = std::floor(s0 * static_cast<double>(b));
        for (int64_t d = -4; d <= 5; ++d) {
            const double a = centre + static_cast<double>(d);
            if (a < 1 || a > static_cast<double>(kMaxLoopSamples)) continue;
            // Cheap tests first: the loop a / b gives, and whether its value
            // could beat the best so far.
            const uint64_t g = static_cast<uint64_t>(gcd128(static_cast<u128>(a), static_cast<u128>(b)));
            const Rational samples{static_cast<uint64_t>(a) / g, static_cast<uint64_t>(b) / g};
            if (!closes(samples, rule)) continue;
            const double s = a / static_cast<double>(b);
            const double estimate = rule.role == FieldRole::scales ? s / k : k / s;
            if (best && std::fabs(estimate - x) > bestDistance * 1.000001) continue;
            const auto value = valueFor(samples, rule);
            double candidate = 0;
            if (!value || !shortDecimal(*value, &candidate)) continue;
            const double distance = std::fabs(candidate - x);
            if (best && distance >= bestDistance) continue;
            // The double must read back as the same decimal, and close.
            const auto check = loopFor(candidate, rule);
            if (!check || !withinLoopCaps(*check, rule.maxPeriods)) continue;
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

std::optional<int64_t> nearestClosingCount(int64_t n, const ClosingRule& rule, int64_t lo, int64_t hi) {
    for (int64_t j = 0; j <= 65536; ++j) {
        for (const int64_t candidate : {n - j, n + j}) {
            if (candidate < lo || candidate > hi || candidate < 1) continue;
            const auto samples = multiply(rule.K, wholeRational(static_cast<uint64_t>(candidate)));
            if (samples && closes(*samples, rule)) return candidate;
        }
    }
    return std::nullopt;
}
