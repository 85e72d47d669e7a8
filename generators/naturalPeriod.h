// A record's natural period, the unit its loop is made of, in output samples
// by exact arithmetic on the decimals the host wrote (each kind says what its
// period is), and the loop information of a call built from it.
#pragma once

#include <cstdint>
#include <optional>

#include "exactRational.h"
#include "wrapperGenSignalWave.h"

struct NaturalPeriod {
    std::optional<Rational> samples;  // per period; empty when the fields do not allow exact arithmetic
    double approximate = 0;           // the same in double (0 when not finite)
    int32_t definedPeriods = 1;       // periods the defined output is built from
};

// numerator / denominator samples per period (empty unless both are exact
// and the denominator is not 0); `approximate` the same in double.
NaturalPeriod periodOf(const std::optional<Rational>& numerator, const std::optional<Rational>& denominator,
                       double approximate, int32_t definedPeriods = 1);

// The periods the kinds are made of: `seconds` long (noise, pulse train);
// `count` symbols or bits at `rate` (digital, spread spectrum); one cycle of
// a modulating wave at `frequency`, the defined output made of its whole
// periods (AM, FM).
NaturalPeriod periodOfDuration(double seconds, double sampleRate);
NaturalPeriod periodOfSymbols(int64_t count, double sampleRate, double rate);
NaturalPeriod periodOfModulation(double sampleRate, double frequency);

// a * b, empty when either is.
std::optional<Rational> product(const std::optional<Rational>& a, const std::optional<Rational>& b);
// A count as an exact number, empty when negative.
std::optional<Rational> exactCount(int64_t n);

// What a buffer of n samples made of `periods` natural periods is; whole
// periods also need a closed seam (`seamClosed`).
GenSignalLoopInfo loopInfo(const NaturalPeriod& period, int64_t periods, int n, double sampleRate,
                           bool seamClosed = true);
