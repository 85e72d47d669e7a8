#include "shapedLoop.h"

int lockedRatio(const std::optional<Rational>& lockedRate, double fs, const char* field, double value, int64_t& p,
                int64_t& q) {
    const auto rate = decimalRational(fs);
    const auto r = lockedRate && rate ? divide(*lockedRate, *rate) : std::nullopt;
    constexpr u128 kMax = static_cast<u128>(INT64_MAX);
    if (!r || r->num > kMax || r->den > kMax)
        return refuse(-1, "%s = %s: its rate over sampleRate = %s has no exact fraction of 64 bits", field,
                      numberText(value).text, numberText(fs).text);
    p = static_cast<int64_t>(r->num);
    q = static_cast<int64_t>(r->den);
    return 0;
}

LoopField countAndRate(const char* rateField, size_t offset, double rateValue, const char* countField, int count,
                       double fs) {
    const auto rate = decimalRational(fs), value = decimalRational(rateValue);
    const auto perRate = rate ? multiply(*rate, wholeRational(static_cast<uint64_t>(count))) : std::nullopt;
    const auto perCount = rate && value ? divide(*rate, *value) : std::nullopt;
    LoopField f{rateField, rateValue, closingRule(perRate, FieldRole::divides), offset};
    if (perCount) {
        f.countField = countField;
        f.count = count;
        f.countRule = {*perCount, FieldRole::scales};
    }
    return f;
}
