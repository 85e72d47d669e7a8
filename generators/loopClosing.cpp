#include "loopClosing.h"

#include <cstdio>
#include <cstring>

#include "lastError.h"

namespace {

// "MultitoneParams.toneSpacing" -> "toneSpacing".
const char* shortName(const char* field) {
    const char* dot = std::strrchr(field, '.');
    return dot ? dot + 1 : field;
}

thread_local ClosingSuggestion suggestion;

void suggest(bool extra, size_t offset, const char* field, double requested, double value) {
    suggestion = {true, extra, offset, field, requested, value};
}

}  // namespace

void clearClosingSuggestion() { suggestion = ClosingSuggestion(); }
const ClosingSuggestion& closingSuggestion() { return suggestion; }

int closeLoop(const NaturalPeriod& period, double fs, const LoopField& f, LoopLength& loop, uint64_t multipleOf) {
    const NumberText value = numberText(f.value), rate = numberText(fs);
    if (!period.samples)
        return refuse(-1, "%s = %s: its period at sampleRate = %s has no exact fraction of 128 bits, so no loop closes",
                      f.field, value.text, rate.text);
    const auto found = fewestWholePeriods(*period.samples, multipleOf);
    if (found && withinLoopCaps(*found, f.rule.maxPeriods)) {
        loop = *found;
        return 0;
    }
    char whole[96];
    if (found)
        std::snprintf(whole, sizeof whole, "after %lld periods (%lld samples)", static_cast<long long>(found->periods),
                      static_cast<long long>(found->samples));
    else
        std::snprintf(whole, sizeof whole, "after more than 2^63 periods");
    char nearest[128] = "";
    if (f.countField) {
        ClosingRule rule = f.countRule;
        rule.multipleOf = multipleOf;
        if (const auto n = nearestClosingCount(f.count, rule, 1, int64_t(1) << 30)) {
            std::snprintf(nearest, sizeof nearest, "; the nearest %s that closes is %lld", f.countField,
                          static_cast<long long>(*n));
            suggest(true, 0, f.countField, static_cast<double>(f.count), static_cast<double>(*n));
        }
    }
    if (!nearest[0]) {
        ClosingRule rule = f.rule;
        rule.multipleOf = multipleOf;
        if (const auto v = nearestClosingValue(f.value, rule)) {
            std::snprintf(nearest, sizeof nearest, "; the nearest %s that closes is %s", shortName(f.field),
                          numberText(*v).text);
            suggest(false, f.offset, f.field, f.value, *v);
        } else
            std::snprintf(nearest, sizeof nearest, "; no %s near it closes", shortName(f.field));
    }
    if (f.rule.maxPeriods == 1 && (!found || found->periods > 1))
        return refuse(-1, "%s = %s: spans %s samples at sampleRate = %s, not a whole number%s", f.field, value.text,
                      numberText(period.samples->value()).text, rate.text, nearest);
    return refuse(-1,
                  "%s = %s: one period spans %s samples at sampleRate = %s and is whole only %s, beyond %lld "
                  "periods or 2^26 samples%s",
                  f.field, value.text, numberText(period.samples->value()).text, rate.text, whole,
                  static_cast<long long>(f.rule.maxPeriods), nearest);
}

int wholeSpan(const char* field, size_t offset, double seconds, double fs, int64_t& samples) {
    const auto rate = decimalRational(fs), span = decimalRational(seconds);
    NaturalPeriod period;
    if (rate && span) period.samples = multiply(*span, *rate);
    LoopLength loop{};
    if (int rc = closeLoop(period, fs, {field, seconds, {rate ? *rate : Rational{0, 1}, FieldRole::scales, 1}, offset},
                           loop))
        return rc;
    samples = loop.samples;
    return 0;
}

int refuseBeyondLoopCap(const char* what, int64_t samples) {
    return refuse(-1, "%s spans %lld samples, beyond the loop cap of 2^26", what, static_cast<long long>(samples));
}

ClosingRule closingRule(const std::optional<Rational>& numerator, FieldRole role) {
    return {numerator ? *numerator : Rational{0, 1}, role};
}
