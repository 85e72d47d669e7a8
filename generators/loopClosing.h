// How an exact loop closes, shared by every kind: the fewest whole natural
// periods that span a whole number of samples within the caps (at most 4096
// periods and 2^26 samples), or the refusal with the nearest value of the
// record's field that would close.
#pragma once

#include <cstdint>

#include "loopLength.h"
#include "naturalPeriod.h"

// The field a refusal names: `field` = `value` (a rate, spacing or duration
// that `rule` turns into samples per period). `countField`, when given,
// names an integer count (symbolCount, bitCount) whose nearest closing value
// is offered first.
struct LoopField {
    const char* field;
    double value;
    ClosingRule rule;
    const char* countField = nullptr;
    int64_t count = 0;
    ClosingRule countRule{};
};

// The loop of `period` within the caps (its periods a multiple of
// `multipleOf`), or -1 with the reason.
int closeLoop(const NaturalPeriod& period, double sampleRate, const LoopField& field, LoopLength& loop,
              uint64_t multipleOf = 1);

// A duration field that must span whole samples (a dwell, a ramp, a noise
// burst): its samples, or -1 with the nearest value that does.
int wholeSpan(const char* field, double seconds, double sampleRate, int64_t& samples);

// -1: `what` spans `samples` samples, beyond the loop cap of 2^26.
int refuseBeyondLoopCap(const char* what, int64_t samples);

// The closing rule of a field x that divides K = `numerator` (a rate: K / x
// samples per period) or scales it (a duration: K x), K empty when not exact.
ClosingRule closingRule(const std::optional<Rational>& numerator, FieldRole role);
