// How long an exact loop is: the fewest whole periods of a waveform's
// natural period (N symbols, one common period of the tones, one pulse
// period, ...) that span a whole number of samples, within the caps and in
// a length the target hardware takes; and, when that is beyond the caps,
// the nearest value of a record field that would close within them.
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

// The lengths a player takes: an instrument's memory holds a minimum number
// of samples in steps of a granularity, up to its size.
struct HardwareLengths {
    uint64_t granularity = 1;  // the samples a multiple of this (>= 1)
    int64_t minLength = 0;     // at least this many samples
    int64_t maxSamples = 0;    // at most this many; 0: no limit beyond the caps

    bool any() const { return granularity != 1 || minLength != 0 || maxSamples != 0; }
};

// The fewest P >= 1, a multiple of `multipleOf`, for which P *
// samplesPerPeriod is whole, a multiple of the granularity and at least the
// minimum length (the caps are not applied); empty when P or the samples
// outgrow 64 bits. Every loop of whole periods that fits is a multiple of it.
std::optional<LoopLength> fewestFittingPeriods(const Rational& samplesPerPeriod, const HardwareLengths& hardware,
                                               uint64_t multipleOf = 1);

// The first rule a loop's length breaks, in the order a host fixes them.
enum class LengthLimit { none, periods, samples, maxSamples, granularity, minLength };
LengthLimit loopLimit(const LoopLength& loop, int64_t maxPeriods, const HardwareLengths& hardware);
// A defined waveform's length against the hardware (its own length, no
// periods): granularity, minimum, then the memory.
LengthLimit definedLengthLimit(int64_t samples, const HardwareLengths& hardware);

// How a field's value x sets the samples per period: K * x (a duration, a
// count) or K / x (a rate, a frequency spacing).
enum class FieldRole { scales, divides };

struct ClosingRule {
    Rational K;
    FieldRole role;
    int64_t maxPeriods = kMaxLoopPeriods;
    uint64_t multipleOf = 1;  // P must also be a multiple of this
    HardwareLengths hardware{};
};

// The loop `rule` gives the value x (exact: x is read as its shortest
// decimal), in a length its hardware takes; empty when the arithmetic does
// not fit 128 bits.
std::optional<LoopLength> loopFor(double x, const ClosingRule& rule);

// The value nearest to x, among decimals of at most 15 significant digits,
// whose loop lies within the caps and the hardware's lengths; empty when there is none near x. Each
// whole number of periods up to the cap is tried with the whole sample
// counts next to the one x gives.
std::optional<double> nearestClosingValue(double x, const ClosingRule& rule);

// The count nearest to n within [lo, hi] whose loop (samples per period
// K * count) lies within the caps; empty when none lies within 65536 of n.
std::optional<int64_t> nearestClosingCount(int64_t n, const ClosingRule& rule, int64_t lo, int64_t hi);
