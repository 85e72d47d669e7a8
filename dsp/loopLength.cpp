#include "loopLength.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

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
    const auto loop = fewestFittingPeriods(samples, rule.hardware, rule.multipleOf);
    return loop && loopLimit(*loop, rule.maxPeriods, rule.hardware) == LengthLimit::none;
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

std::optional<LoopLength> fewestFittingPeriods(const Rational& samplesPerPeriod, const HardwareLengths& hardware,
                                               uint64_t multipleOf) {
    if (hardware.granularity == 0 || hardware.minLength < 0) return std::nullopt;
    const auto base = fewestWholePeriods(samplesPerPeriod, multipleOf);
    if (!base || base->samples == 0) return base;
    // Every whole loop is k times the fewest; k * S0 must be a multiple of G
    // (k a multiple of G / gcd(S0, G)) and at least L.
    const u128 s0 = static_cast<u128>(base->samples);
    const u128 step = hardware.granularity / gcd128(s0, hardware.granularity);
    const u128 atLeast = (static_cast<u128>(hardware.minLength) + s0 - 1) / s0;
    u128 k = (atLeast + step - 1) / step * step;
    if (k < step) k = step;
    if (k > kInt64Max / static_cast<u128>(base->periods) || k > kInt64Max / s0) return std::nullopt;
    return LoopLength{static_cast<int64_t>(k * static_cast<u128>(base->periods)), static_cast<int64_t>(k * s0)};
}

LengthLimit loopLimit(const LoopLength& loop, int64_t maxPeriods, const HardwareLengths& hardware) {
    if (loop.periods < 1 || loop.periods > maxPeriods) return LengthLimit::periods;
    if (loop.samples < 1 || loop.samples > kMaxLoopSamples) return LengthLimit::samples;
    if (hardware.maxSamples > 0 && loop.samples > hardware.maxSamples) return LengthLimit::maxSamples;
    return definedLengthLimit(loop.samples, {hardware.granularity, hardware.minLength, 0});
}

LengthLimit definedLengthLimit(int64_t samples, const HardwareLengths& hardware) {
    if (samples < 1) return LengthLimit::minLength;
    if (hardware.granularity == 0 || static_cast<uint64_t>(samples) % hardware.granularity != 0)
        return LengthLimit::granularity;
    if (samples < hardware.minLength) return LengthLimit::minLength;
    if (hardware.maxSamples > 0 && samples > hardware.maxSamples) return LengthLimit::maxSamples;
    return LengthLimit::none;
}

std::optional<LoopLength> loopFor(double x, const ClosingRule& rule) {
    const auto value = decimalRational(x);
    if (!value) return std::nullopt;
    const auto samples = samplesPerPeriod(*value, rule);
    if (!samples) return std::nullopt;
    return fewestFittingPeriods(*samples, rule.hardware, rule.multipleOf);
}

namespace {

// The best candidate so far: the closing value nearest to x.
struct Nearest {
    double x;
    const ClosingRule& rule;
    std::optional<double> best;
    double distance = 0;

    bool couldBeat(double estimate) const { return !best || std::fabs(estimate - x) < distance * 1.000001; }
    // A candidate value as a fraction: kept when it is a short decimal that
    // reads back as itself, closes and is nearer than the best.
    void consider(const Rational& value) {
        double candidate = 0;
        if (!shortDecimal(value, &candidate)) return;
        const double d = std::fabs(candidate - x);
        if (best && d >= distance) return;
        const auto check = loopFor(candidate, rule);
        if (!check || loopLimit(*check, rule.maxPeriods, rule.hardware) != LengthLimit::none) return;
        best = candidate;
        distance = d;
    }
};

// Whole sample counts a next to s0 * b for each number of periods b: the
// values that close with the fewest digits they need (a dwell of 306 samples
// at 30.72 MS/s is 9.9609375 us).
void byPeriods(Nearest& n, double k, double s0) {
    const ClosingRule& rule = n.rule;
    for (int64_t b = 1; b <= rule.maxPeriods; ++b) {
        const double centre = std::floor(s0 * static_cast<double>(b));
        for (int64_t d = -4; d <= 5; ++d) {
            const double a = centre + static_cast<double>(d);
            if (a < 1 || a > static_cast<double>(kMaxLoopSamples)) continue;
            const uint64_t g = static_cast<uint64_t>(gcd128(static_cast<u128>(a), static_cast<u128>(b)));
            const Rational samples{static_cast<uint64_t>(a) / g, static_cast<uint64_t>(b) / g};
            if (!closes(samples, rule)) continue;
            const double s = a / static_cast<double>(b);
            if (!n.couldBeat(rule.role == FieldRole::scales ? s / k : k / s)) continue;
            if (const auto value = valueFor(samples, rule)) n.consider(*value);
        }
    }
}

// Decimals of 1 to 15 significant digits next to x (a tone spacing of
// 7777.7 Hz at 30.72 MS/s closes as 7777.5 Hz after 1037 periods).
void byDigits(Nearest& n) {
    const int top = static_cast<int>(std::floor(std::log10(n.x)));
    for (int e = top; e >= top - 14; --e) {
        const auto unit = tenToThe(e);
        if (!unit) continue;
        const double step = std::pow(10.0, e);
        const double centre = std::nearbyint(n.x / step);
        for (int64_t j = -100; j <= 100; ++j) {
            const double digits = centre + static_cast<double>(j);
            if (digits < 1 || !n.couldBeat(digits * step)) continue;
            const auto value = multiply(*unit, wholeRational(static_cast<uint64_t>(digits)));
            if (value) n.consider(*value);
        }
    }
}

}  // namespace

std::optional<double> nearestClosingValue(double x, const ClosingRule& rule) {
    if (!(x > 0) || !std::isfinite(x) || x > 1e30 || x < 1e-30) return std::nullopt;
    const double k = rule.K.value();
    const double s0 = rule.role == FieldRole::scales ? k * x : k / x;
    if (!(s0 > 0) || !(s0 < static_cast<double>(kMaxLoopSamples) * 2)) return std::nullopt;
    Nearest n{x, rule, std::nullopt};
    byPeriods(n, k, s0);
    byDigits(n);
    return n.best;
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
