// Exact loop lengths: doubles read as the decimals a host typed, the fewest
// whole periods at real-world rate pairs, and the nearest value that closes
// when a record's loop is beyond the caps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "exactRational.h"
#include "loopLength.h"

namespace {

Rational r(uint64_t num, uint64_t den = 1) {
    const u128 g = gcd128(num, den);
    return Rational{num / g, den / g};
}

struct DecimalCase {
    double value;
    uint64_t num, den;
};

class DecimalRational : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalRational, IsTheShortestDecimalThatReadsBack) {
    const DecimalCase c = GetParam();
    const auto got = decimalRational(c.value);
    ASSERT_TRUE(got.has_value());
    EXPECT_TRUE(*got == r(c.num, c.den)) << c.value;
}

INSTANTIATE_TEST_SUITE_P(HostRates, DecimalRational,
                         ::testing::Values(DecimalCase{30.72e6, 30720000, 1}, DecimalCase{1.023e6, 1023000, 1},
                                           DecimalCase{44100, 44100, 1}, DecimalCase{0.35, 7, 20},
                                           DecimalCase{0.1, 1, 10}, DecimalCase{1e-3, 1, 1000},
                                           DecimalCase{61.44e6, 61440000, 1}, DecimalCase{2.5e-7, 1, 4000000},
                                           DecimalCase{-3.84e6, 3840000, 1},
                                           // 1/3 as a double reads back from 16 threes, not from 1/3.
                                           DecimalCase{1.0 / 3, 3333333333333333ULL, 10000000000000000ULL},
                                           DecimalCase{0, 0, 1}));

TEST(DecimalRationalLimits, RefusesWhatNeedsMoreThan128Bits) {
    EXPECT_FALSE(decimalRational(NAN).has_value());
    EXPECT_FALSE(decimalRational(INFINITY).has_value());
    EXPECT_FALSE(decimalRational(1e300).has_value());
    EXPECT_FALSE(decimalRational(1e-300).has_value());
    EXPECT_TRUE(decimalRational(1e30).has_value());
}

TEST(RationalArithmetic, StaysInLowestTermsAndReportsOverflow) {
    EXPECT_TRUE(*multiply(r(10, 3), r(9, 20)) == r(3, 2));
    EXPECT_TRUE(*divide(r(30720000), r(3840000)) == r(8));
    const Rational big{static_cast<u128>(1) << 100, 1};
    EXPECT_FALSE(multiply(big, big).has_value());
    EXPECT_FALSE(divide(r(1), r(0)).has_value());
}

TEST(ShortDecimal, AcceptsOnlyTerminatingDecimalsOfFifteenDigits) {
    double v = 0;
    EXPECT_TRUE(shortDecimal(r(306, 30720000), &v));
    EXPECT_EQ(v, 9.9609375e-6);
    EXPECT_FALSE(shortDecimal(r(1, 3), &v));
    EXPECT_FALSE(shortDecimal(r(1234567890123456789ULL, 1000), &v));
    EXPECT_TRUE(shortDecimal(r(123456789012345ULL, 1000), &v));
    EXPECT_EQ(v, 123456789012.345);
}

// Samples per natural period at real-world rate pairs and the loop they give.
struct LoopCase {
    const char* what;
    double value;
    ClosingRule rule;
    int64_t periods, samples;
};

class FewestPeriods : public ::testing::TestWithParam<LoopCase> {};

TEST_P(FewestPeriods, AreTheFewestWholeOnes) {
    const LoopCase c = GetParam();
    const auto loop = loopFor(c.value, c.rule);
    ASSERT_TRUE(loop.has_value()) << c.what;
    EXPECT_EQ(loop->periods, c.periods) << c.what;
    EXPECT_EQ(loop->samples, c.samples) << c.what;
}

// The symbol rate divides N * fs; a spacing divides 2 fs for an even tone
// count (the common period is two over the spacing); a duration scales fs.
INSTANTIATE_TEST_SUITE_P(
    RatePairs, FewestPeriods,
    ::testing::Values(
        // 1000 symbols of 1.023 Msym/s into 10 MS/s: 9775.17... samples.
        LoopCase{"1.023M into 10M", 1.023e6, {r(1000ULL * 10000000), FieldRole::divides}, 1023, 10000000},
        // 1023 chips of 1.023 Mchip/s into 10 MS/s: exactly 10000 samples.
        LoopCase{"1023 chips", 1.023e6, {r(1023ULL * 10000000), FieldRole::divides}, 1, 10000},
        // 3.84 Mchip/s into 30.72 MS/s: 8 samples a chip.
        LoopCase{"3.84M into 30.72M", 3.84e6, {r(2560ULL * 30720000), FieldRole::divides}, 1, 20480},
        // Two tones 1 kHz apart at 44.1 kS/s: a period of 88.2 samples.
        LoopCase{"1 kHz tones at 44.1k", 1000, {r(2 * 44100), FieldRole::divides}, 5, 441},
        // Tones 100 kHz apart at 30.72 MS/s: 614.4 samples.
        LoopCase{"100 kHz at 30.72M", 100e3, {r(2 * 30720000), FieldRole::divides}, 5, 3072},
        // A 0.2 ms pulse period at 44.1 kS/s: 8.82 samples.
        LoopCase{"pulse at 44.1k", 0.2e-3, {r(44100), FieldRole::scales}, 50, 441},
        // 48 kS/s against 1 kHz: whole at once.
        LoopCase{"48k / 1k", 1000, {r(48000), FieldRole::divides}, 1, 48}));

TEST(FewestPeriodsMultiple, TakesTheLeastCommonMultiple) {
    // 88.2 samples a period whole after 5; a further rule of 4 periods: 20.
    const auto loop = fewestWholePeriods(r(441, 5), 4);
    ASSERT_TRUE(loop.has_value());
    EXPECT_EQ(loop->periods, 20);
    EXPECT_EQ(loop->samples, 1764);
}

TEST(NearestClosing, ARateWithNoShortLoopGetsTheNearestThatCloses) {
    // 1.0000001 Msym/s, 1000 symbols into 10 MS/s: 10^11 / 10000001 samples
    // a period, whole only after 10000001 periods.
    const ClosingRule rule{r(1000ULL * 10000000), FieldRole::divides};
    const auto loop = loopFor(1.0000001e6, rule);
    ASSERT_TRUE(loop.has_value());
    EXPECT_EQ(loop->periods, 10000001);
    EXPECT_FALSE(withinLoopCaps(*loop));
    const auto nearest = nearestClosingValue(1.0000001e6, rule);
    ASSERT_TRUE(nearest.has_value());
    const auto fixed = loopFor(*nearest, rule);
    ASSERT_TRUE(fixed.has_value());
    EXPECT_TRUE(withinLoopCaps(*fixed));
    EXPECT_LT(std::fabs(*nearest - 1.0000001e6), 1.0);
}

TEST(NearestClosing, ADwellTimeOfFractionalSamplesGetsTheNearestWholeOne) {
    // 10 us at 30.72 MS/s is 307.2 samples; the nearest whole count that a
    // decimal can state is 306 (9.9609375 us): 1/30.72e6 has a factor 3.
    const ClosingRule rule{r(30720000), FieldRole::scales, 1};
    const auto nearest = nearestClosingValue(10e-6, rule);
    ASSERT_TRUE(nearest.has_value());
    EXPECT_EQ(*nearest, 9.9609375e-6);
}

TEST(NearestClosing, ASymbolCountCloses) {
    // fs / Rs = 10^7 / 1.0000001e6: no count below 65536 away closes.
    EXPECT_FALSE(nearestClosingCount(1000, {r(100000000, 10000001), FieldRole::scales}, 1, 1 << 20).has_value());
    // 10 MS/s over 1.023 Msym/s: 10000/1023 a symbol. With at most 64
    // periods, 3000 symbols (gcd 3 with 1023: 341 periods) do not close;
    // 3003 = 3 * 7 * 11 * 13 shares 33 with 1023 = 3 * 11 * 31: 31 periods.
    EXPECT_EQ(*nearestClosingCount(3000, {r(10000, 1023), FieldRole::scales, 64}, 1, 1 << 20), 3003);
}

}  // namespace

namespace {

// Lengths a player takes: the fewest whole periods whose samples are a
// multiple of G and at least L.
struct FitCase {
    const char* what;
    Rational samplesPerPeriod;
    HardwareLengths hardware;
    uint64_t multipleOf;
    int64_t periods, samples;
};

class FittingPeriods : public ::testing::TestWithParam<FitCase> {};

TEST_P(FittingPeriods, AreTheFewestThatFit) {
    const FitCase c = GetParam();
    const auto loop = fewestFittingPeriods(c.samplesPerPeriod, c.hardware, c.multipleOf);
    ASSERT_TRUE(loop.has_value()) << c.what;
    EXPECT_EQ(loop->periods, c.periods) << c.what;
    EXPECT_EQ(loop->samples, c.samples) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Instruments, FittingPeriods,
                         ::testing::Values(FitCase{"no rule", r(441, 5), {}, 1, 5, 441},
                                           // 441 samples odd: twice for steps of 2, at least 60 already.
                                           FitCase{"60 in steps of 2", r(441, 5), {2, 60, 0}, 1, 10, 882},
                                           // 614.4 samples a period: 3072 after 5, a multiple of 8 (384 * 8).
                                           FitCase{"already a multiple", r(3072, 5), {8, 512, 0}, 1, 5, 3072},
                                           // 48 samples a period, at least 512 in steps of 8: 11 periods.
                                           FitCase{"minimum sets the count", r(48), {8, 512, 0}, 1, 11, 528},
                                           // 3 samples a period, steps of 8: 8 periods; at least 100: 40.
                                           FitCase{"granularity and minimum", r(3), {8, 100, 0}, 1, 40, 120},
                                           // 7.5 samples a period: whole after 2 (15), steps of 4: 8 periods.
                                           FitCase{"fraction and granularity", r(15, 2), {4, 0, 0}, 1, 8, 60},
                                           // A further rule of 3 periods (multipleOf) with 2 samples a period,
                                           // steps of 4: 6 periods.
                                           FitCase{"period multiple", r(2), {4, 0, 0}, 3, 6, 12},
                                           // 1 sample a period, at least 60 in steps of 2.
                                           FitCase{"one sample a period", r(1), {2, 60, 0}, 1, 60, 60}));

// The literal search: P = 1, 2, ... until every rule holds.
std::optional<LoopLength> fittingByTrial(const Rational& spp, const HardwareLengths& hw, uint64_t multipleOf) {
    for (int64_t p = 1; p <= 100000; ++p) {
        if (p % static_cast<int64_t>(multipleOf) != 0) continue;
        const u128 num = spp.num * static_cast<u128>(p);
        if (num % spp.den != 0) continue;
        const auto samples = static_cast<int64_t>(num / spp.den);
        if (samples % static_cast<int64_t>(hw.granularity) == 0 && samples >= hw.minLength)
            return LoopLength{p, samples};
    }
    return std::nullopt;
}

TEST(FittingPeriodsTrial, EqualsTheLiteralSearch) {
    for (uint64_t num : {1, 2, 3, 7, 12, 25, 441, 1000})
        for (uint64_t den : {1, 2, 3, 5, 8})
            for (uint64_t g : {1, 2, 3, 8, 12, 16})
                for (int64_t l : {0, 1, 60, 512, 999})
                    for (uint64_t m : {1, 2, 3}) {
                        const Rational spp = r(num, den);
                        const HardwareLengths hw{g, l, 0};
                        const auto got = fewestFittingPeriods(spp, hw, m);
                        const auto want = fittingByTrial(spp, hw, m);
                        ASSERT_TRUE(got && want);
                        EXPECT_EQ(got->periods, want->periods) << num << "/" << den << " G " << g << " L " << l;
                        EXPECT_EQ(got->samples, want->samples) << num << "/" << den << " G " << g << " L " << l;
                    }
}

TEST(FittingPeriodsLimits, RefuseWhatOutgrowsSixtyFourBits) {
    EXPECT_FALSE(fewestFittingPeriods(r(3), {0, 0, 0}).has_value());
    EXPECT_FALSE(fewestFittingPeriods(r(3), {1, -1, 0}).has_value());
    EXPECT_FALSE(fewestFittingPeriods(r(1), {1, std::numeric_limits<int64_t>::max(), 0}, 3).has_value());
    EXPECT_FALSE(fewestFittingPeriods(r(3, 1ULL << 62), {uint64_t(1) << 40, 0, 0}).has_value());
}

struct LimitCase {
    const char* what;
    LoopLength loop;
    int64_t maxPeriods;
    HardwareLengths hardware;
    LengthLimit limit;
};

class LoopLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(LoopLimits, NameTheFirstRuleBroken) {
    const LimitCase c = GetParam();
    EXPECT_EQ(loopLimit(c.loop, c.maxPeriods, c.hardware), c.limit) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LoopLimits,
    ::testing::Values(LimitCase{"fits", {10, 882}, 4096, {2, 60, 16777216}, LengthLimit::none},
                      LimitCase{"periods", {5000, 882}, 4096, {}, LengthLimit::periods},
                      LimitCase{"caps", {1, kMaxLoopSamples + 1}, 4096, {}, LengthLimit::samples},
                      LimitCase{"memory", {10, 20000000}, 4096, {1, 0, 16777216}, LengthLimit::maxSamples},
                      LimitCase{"memory exactly", {10, 16777216}, 4096, {8, 0, 16777216}, LengthLimit::none},
                      LimitCase{"granularity", {5, 441}, 4096, {2, 0, 0}, LengthLimit::granularity},
                      LimitCase{"minimum", {1, 48}, 4096, {8, 512, 0}, LengthLimit::minLength}));

TEST(DefinedLengths, AreRefusedWithTheRuleTheyBreak) {
    EXPECT_EQ(definedLengthLimit(1000, {8, 512, 16777216}), LengthLimit::none);
    EXPECT_EQ(definedLengthLimit(1001, {8, 512, 0}), LengthLimit::granularity);
    EXPECT_EQ(definedLengthLimit(504, {8, 512, 0}), LengthLimit::minLength);
    EXPECT_EQ(definedLengthLimit(1 << 25, {8, 512, 1 << 24}), LengthLimit::maxSamples);
    EXPECT_EQ(definedLengthLimit(0, {1, 0, 0}), LengthLimit::minLength);
    EXPECT_EQ(definedLengthLimit(-8, {8, 0, 0}), LengthLimit::minLength);
}

TEST(NearestClosingWithHardware, TheLoopFoundFitsTheHardware) {
    // 100 kHz tones at 30.72 MS/s: 3072 samples after 5 periods; at most
    // 2000 samples in steps of 8 leaves no loop, and the nearest spacing
    // that closes gives one the hardware takes.
    ClosingRule rule{r(2 * 30720000), FieldRole::divides};
    rule.hardware = {8, 512, 2000};
    const auto loop = loopFor(100e3, rule);
    ASSERT_TRUE(loop.has_value());
    EXPECT_EQ(loopLimit(*loop, rule.maxPeriods, rule.hardware), LengthLimit::maxSamples);
    const auto nearest = nearestClosingValue(100e3, rule);
    ASSERT_TRUE(nearest.has_value());
    const auto fixed = loopFor(*nearest, rule);
    ASSERT_TRUE(fixed.has_value());
    EXPECT_EQ(loopLimit(*fixed, rule.maxPeriods, rule.hardware), LengthLimit::none);
    EXPECT_EQ(fixed->samples % 8, 0);
    EXPECT_GE(fixed->samples, 512);
    EXPECT_LE(fixed->samples, 2000);
}

}  // namespace
