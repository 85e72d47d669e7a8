// How long an exact loop is: the fewest whole periods of a waveform's
// natural period (N symbols, one common period of the tones, one pulse
// period, ...) that span a whole number of samples, within the caps; and,
// when that is beyond the caps, the nearest value of a record field that
// would close within them.
#pragma once

#include <cstdint>
#include <optional>

#include "exactRational.h"

constexpr int64_t kMaxLoopPeriods = 4096;
constexpr int64_t kMaxLoopSamples = int64_t(1) << 26;

struct LoopLength {
    int64_t periods;  // P
    int64_t samples;  // P * samples per period, whole
};

// The fewest P >= 1, a multiple of `multipleOf`, for which P * samplesPerPeriod
// is whole; empty when P or the samples outgrow 64 bits.
std::optional<LoopLength> fewestWholePeriods(const Rational& samplesPerPeriod, uint64_t multipleOf = 1);

bool withinLoopCaps(const LoopLength& loop, int64_t maxPeriods = kMaxLoopPeriods);

// How a field's value x sets the samples per period: K * x (a duration, a
// count) or K / x (a rate, a frequency spacing).
enum class FieldRole { scales, divides };

struct ClosingRule {
    Rational K;
    FieldRole role;
    int64_t maxPeriods = kMaxLoopPeriods;
    uint64_t multipleOf = 1;  // P must also be a multiple of this
};

// The loop `rule` gives the value x (exact: x is read as its shortest
// decimal); empty when the arithmetic does not fit 128 bits.
std::optional<LoopLength> loopFor(double x, const ClosingRule& rule);

// The value nearest to x, among decimals of at most 15 significant digits,
// whose loop lies within the caps; empty when there is none near x. Each
// whole number of periods up to the cap is tried with the whole sample
// counts next to the one x gives.
std::optional<double> nearestClosingValue(double x, const ClosingRule& rule);

// The count nearest to n within [lo, hi] whose loop (samples per period
// K * count) lies within the caps; empty when none lies within 65536 of n.
std::optional<int64_t> nearestClosingCount(int64_t n, const ClosingRule& rule, int64_t lo, int64_t hi);

// Lengths a player takes: a multiple of `granularity` samples, at least
// `minSamples`, at most `maxSamples` (0: no limit beyond the caps).
struct LengthRule {
    int64_t granularity = 1;
    int64_t minSamples = 0;
    int64_t maxSamples = 0;

    bool any() const { return granularity > 1 || minSamples > 0 || maxSamples > 0; }
    bool takes(int64_t samples) const {
        return samples % granularity == 0 && samples >= minSamples && (maxSamples == 0 || samples <= maxSamples);
    }
};

// The fewest copies m >= 1 of a whole loop `unit` whose m * unit.samples the
// rule takes; 0 when that lies beyond 2^26 samples or the rule's maximum.
// (The cap of 4096 periods bounds the search for a closing loop, not the
// copies of one.)
int64_t copiesTaken(const LoopLength& unit, const LengthRule& rule);
