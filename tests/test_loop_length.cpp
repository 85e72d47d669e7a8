// Exact loop lengths: doubles read as the decimals a host typed, the fewest
// whole periods at real-world rate pairs, and the nearest value that closes
// when a record's loop is beyond the caps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

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
