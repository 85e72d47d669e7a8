// How an exact loop closes, shared by every kind: the fewest whole natural
// periods that span a whole number of samples within the caps (at most 4096
// periods and 2^26 samples), or the refusal with the nearest value of the
// record's field that would close.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loopLength.h"
#include "naturalPeriod.h"

// The field a refusal names: `field` = `value` (a rate, spacing or duration
// that `rule` turns into samples per period), a double at byte `offset` of
// the record. `countField`, when given, names the entry point's extra
// argument (symbolCount, bitCount), whose nearest closing value is offered
// first.
struct LoopField {
    const char* field;
    double value;
    ClosingRule rule;
    size_t offset;
    const char* countField = nullptr;
    int64_t count = 0;
    ClosingRule countRule{};
};

// The nearest value a refusal of closeLoop named on this thread, for a snap
// to take: the record's double at `offset`, or the extra argument.
struct ClosingSuggestion {
    bool valid = false;
    bool extra = false;  // the extra argument, else the record's field
    size_t offset = 0;
    const char* field = "";  // as the header spells it
    double requested = 0, value = 0;
};
void clearClosingSuggestion();
const ClosingSuggestion& closingSuggestion();

// The loop of `period` within the caps (its periods a multiple of
// `multipleOf`), or -1 with the reason.
int closeLoop(const NaturalPeriod& period, double sampleRate, const LoopField& field, LoopLength& loop,
              uint64_t multipleOf = 1);

// A duration field that must span whole samples (a dwell, a ramp, a noise
// burst): its samples, or -1 with the nearest value that does.
int wholeSpan(const char* field, size_t offset, double seconds, double sampleRate, int64_t& samples);

// -1: `what` spans `samples` samples, beyond the loop cap of 2^26.
int refuseBeyondLoopCap(const char* what, int64_t samples);

// The closing rule of a field x that divides K = `numerator` (a rate: K / x
// samples per period) or scales it (a duration: K x), K empty when not exact.
ClosingRule closingRule(const std::optional<Rational>& numerator, FieldRole role);
