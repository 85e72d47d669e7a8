// Pulse-shaping filter design: tap counts, values, normalisations and the
// singular points of the raised-cosine designs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "filterDesign.h"
#include "genSignalClass.h"
#include "testSupport.h"

namespace {

using testing_support::lastError;

constexpr double kPi = 3.141592653589793;
constexpr float kMark = -123.0f;

struct Design {
    int rc = 0, error = 0;
    std::vector<float> taps;
};

Design design(int type, double param, int span, int sps) {
    GenSignalClass obj;
    Design d;
    const int room = (span > 0 ? span : 1) * (sps > 0 ? sps : 1) + 100;
    std::vector<float> taps(room, kMark);
    int count = -7;
    obj.getFilter(static_cast<FilterType>(type), param, span, sps, taps.data(), &count, &d.error);
    EXPECT_LE(count, room);
    if (count > 0) d.taps.assign(taps.begin(), taps.begin() + count);
    for (int i = count > 0 ? count : 0; i < room; ++i) EXPECT_EQ(taps[i], kMark) << "written past the taps";
    d.rc = count;
    return d;
}

struct CountCase {
    int type;
    int span, sps, count;
};

class TapCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(TapCount, MatchesTheDesignRule) {
    const auto c = GetParam();
    const Design d = design(c.type, 0.35, c.span, c.sps);
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.rc, c.count);
    // The generators size their arrays from the same rule.
    EXPECT_EQ(designedTapCount(static_cast<FilterType>(c.type), c.span, c.sps), c.count);
    for (float t : d.taps) EXPECT_TRUE(std::isfinite(t));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TapCount,
    ::testing::Values(CountCase{RECT, 6, 4, 5}, CountCase{RECT, 0, 1, 2}, CountCase{HALF_SINE, 9, 2, 3},
                      CountCase{RCOS, 3, 3, 9}, CountCase{RRCOS, 3, 3, 9}, CountCase{RCOS, 6, 8, 49},
                      CountCase{RRCOS, 6, 8, 49}, CountCase{RRCOS, 3, 5, 15}, CountCase{RCOS, 1, 1, 1},
                      CountCase{RCOS, 0, 8, 1}, CountCase{GAUSSIAN, 3, 3, 10}, CountCase{GAUSSIAN, 3, 5, 16},
                      CountCase{GAUSSIAN, 6, 8, 49}, CountCase{GAUSSIAN, 0, 4, 1}),
    [](const auto& info) {
        const auto& c = info.param;
        return "type" + std::to_string(c.type) + "_span" + std::to_string(c.span) + "_sps" + std::to_string(c.sps);
    });

TEST(FilterDesign, RectangleAndHalfSineValues) {
    EXPECT_EQ(design(RECT, 0, 1, 4).taps, std::vector<float>(5, 1.0f));
    const auto hs = design(HALF_SINE, 0, 1, 2).taps;
    ASSERT_EQ(hs.size(), 3u);
    EXPECT_EQ(hs[0], 0.0f);
    EXPECT_EQ(hs[1], 1.0f);
    EXPECT_EQ(hs[2], static_cast<float>(std::sin(kPi)));
    EXPECT_GT(hs[2], 0.0f);
    const auto hs8 = design(HALF_SINE, 0, 1, 8).taps;
    for (int i = 0; i <= 8; ++i) EXPECT_EQ(hs8[i], static_cast<float>(std::sin(i * kPi / 8))) << i;
}

TEST(FilterDesign, RaisedCosineDesignsHaveUnitEnergy) {
    for (int type : {RCOS, RRCOS}) {
        for (double beta : {0.1, 0.22, 0.35, 0.5, 1.0}) {
            for (int span : {1, 2, 6, 10}) {
                for (int sps : {1, 3, 4, 8}) {
                    const auto taps = design(type, beta, span, sps).taps;
                    double e = 0;
                    for (float t : taps) e += static_cast<double>(t) * t;
                    EXPECT_NEAR(e, 1.0, 1e-6) << type << " " << beta << " " << span << " " << sps;
                    for (size_t i = 0; i < taps.size(); ++i) EXPECT_EQ(taps[i], taps[taps.size() - 1 - i]);
                }
            }
        }
    }
    EXPECT_EQ(design(RCOS, 0.35, 0, 8).taps, std::vector<float>{1.0f});
    EXPECT_EQ(design(RRCOS, 0.35, 0, 8).taps, std::vector<float>{1.0f});
}

TEST(FilterDesign, GaussianSumsToOneAndFollowsTheBell) {
    for (double bt : {0.3, 0.5, 1.0}) {
        for (int span : {1, 3, 4}) {
            for (int sps : {1, 4, 8}) {
                const auto taps = design(GAUSSIAN, bt, span, sps).taps;
                double sum = 0;
                for (float t : taps) sum += t;
                EXPECT_NEAR(sum, 1.0, 1e-6);
                if (span * sps % 2) continue;
                const int c = span * sps / 2;
                const double a = std::sqrt(std::log(2.0) / 2) / bt;
                for (int i = 0; i < static_cast<int>(taps.size()); ++i) {
                    const double x = (i - c) / static_cast<double>(sps) * kPi / a;
                    EXPECT_NEAR(taps[i] / taps[c], std::exp(-x * x), 1e-6) << bt << " " << span << " " << sps;
                }
            }
        }
    }
}

// Unnormalised closed forms, for checking the singular points against the
// limit from either side.
double rcAt(double b, double t) {
    return std::cos(b * kPi * t) * std::sin(kPi * t) / (kPi * t) / (1 - 4 * b * b * t * t);
}
double rrcAt(double b, double t) {
    return -4 * b * (std::cos((1 + b) * kPi * t) + std::sin((1 - b) * kPi * t) / (4 * b * t)) /
           (kPi * (16 * b * b * t * t - 1));
}

TEST(FilterDesign, RaisedCosineSingularPoints) {
    // beta 0.5, span 2, sps 4: d = 0 at t = +-1, the first and last taps,
    // where the pulse passes through zero.
    const auto rc = design(RCOS, 0.5, 2, 4).taps;
    ASSERT_EQ(rc.size(), 9u);
    EXPECT_TRUE(std::isfinite(rc[0]));
    EXPECT_NE(rc[0], 0.0f);
    EXPECT_LT(std::fabs(rc[0]), 1e-15f);
    EXPECT_EQ(rc[8], rc[0]);
    // beta 0.4, span 4, sps 4: d = 0 at t = +-1.25, where the pulse is not zero.
    const auto rc2 = design(RCOS, 0.4, 4, 4).taps;
    ASSERT_EQ(rc2.size(), 17u);
    for (double side : {-1e-6, 1e-6}) EXPECT_NEAR(rc2[3] / rc2[8], rcAt(0.4, 1.25 + side), 1e-5);
    EXPECT_EQ(rc2[13], rc2[3]);
}

TEST(FilterDesign, RootRaisedCosineSingularPoints) {
    // beta 0.25: |4 beta t| = 1 at t = +-1.
    for (int span : {2, 4, 6}) {
        const int sps = 4;
        const auto rrc = design(RRCOS, 0.25, span, sps).taps;
        const int c = span * sps / 2;
        const double centre = 1 - 0.25 + 1 / kPi;
        for (double side : {-1e-6, 1e-6}) {
            EXPECT_NEAR(rrc[c - sps] / rrc[c], rrcAt(0.25, 1 + side) / centre, 1e-5) << span;
            EXPECT_NEAR(rrc[c + 1] / rrc[c], rrcAt(0.25, 0.25) / centre, 1e-6) << span;
        }
        EXPECT_EQ(rrc[c + sps], rrc[c - sps]);
    }
}

TEST(FilterDesign, ShapeIsChosenByTheFirstLetter) {
    GenSignalClass obj;
    auto run = [&](const char* shape) {
        std::vector<float> taps(49);
        int n = 0;
        obj.rcosdesignForC(0.35, 6, 8, shape, taps.data(), &n);
        EXPECT_EQ(n, 49);
        return taps;
    };
    const auto rc = design(RCOS, 0.35, 6, 8).taps, rrc = design(RRCOS, 0.35, 6, 8).taps;
    EXPECT_NE(rc, rrc);
    EXPECT_EQ(run("normal"), rc);
    EXPECT_EQ(run("N"), rc);
    EXPECT_EQ(run("nope"), rc);
    EXPECT_EQ(run("sqrt"), rrc);
    EXPECT_EQ(run("x"), rrc);
}

TEST(FilterDesign, InvalidTypeWritesNothingAndSaysWhy) {
    for (int type : {0, 6, -1}) {
        const Design d = design(type, 0.35, 6, 8);
        EXPECT_EQ(d.error, -1) << type;
        EXPECT_EQ(d.rc, 0) << type;
        EXPECT_EQ(lastError(), "filterType = " + std::to_string(type) +
                                   ": must be 1 (RECT), 2 (RCOS), 3 (RRCOS), 4 (GAUSSIAN) or 5 (HALF_SINE)");
    }
}

// A record's filter fields: RECT and HALF_SINE take span 1 and ignore the
// roll-off; the others need a span of at least 0 and a roll-off that rounds
// to a finite float, above 0 where the design divides by it.
struct ShapeCase {
    const char* name;
    int type, span;
    double rolloff;
    int expectedSpan;    // when accepted
    const char* reason;  // when refused
};

class PulseShapeCheck : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(PulseShapeCheck, AcceptsOrSaysWhy) {
    const auto& c = GetParam();
    PulseShape shape{};
    const int rc = checkPulseShape("SomeParams", c.type, c.span, c.rolloff, &shape);
    if (*c.reason == 0) {
        ASSERT_EQ(rc, 0) << lastError();
        EXPECT_EQ(shape.type, c.type);
        EXPECT_EQ(shape.span, c.expectedSpan);
        if (std::isfinite(c.rolloff)) {
            EXPECT_EQ(shape.param, static_cast<double>(static_cast<float>(c.rolloff)));
        }
    } else {
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(lastError(), c.reason);
    }
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, PulseShapeCheck,
    ::testing::Values(ShapeCase{"RectIgnoresSpanAndRolloff", RECT, -4, kNaN, 1, ""},
                      ShapeCase{"HalfSineIgnoresSpan", HALF_SINE, 9, 0.35, 1, ""},
                      ShapeCase{"RaisedCosineZeroSpanAndRolloff", RCOS, 0, 0.0, 0, ""},
                      ShapeCase{"RootRaisedCosine", RRCOS, 6, 0.35, 6, ""},
                      ShapeCase{"LargestFloatRolloff", GAUSSIAN, 3, 3.4028234663852886e38, 3, ""},
                      ShapeCase{"TypeZero", 0, 6, 0.35, 0,
                                "SomeParams.filterType = 0: must be 1 (RECT), 2 (RCOS), 3 (RRCOS), 4 (GAUSSIAN) or 5 "
                                "(HALF_SINE)"},
                      ShapeCase{"NegativeSpan", RCOS, -1, 0.35, 0, "SomeParams.filterSpan = -1: must be at least 0"},
                      ShapeCase{"RolloffBeyondFloat", RCOS, 6, 1e39, 0,
                                "SomeParams.rolloff = 1e+39: must round to a finite float"},
                      ShapeCase{"RolloffRoundsToZero", GAUSSIAN, 6, 1e-46, 0,
                                "SomeParams.rolloff = 1e-46: must round to a float above 0 for GAUSSIAN"},
                      ShapeCase{"NegativeRolloff", RRCOS, 6, -0.1, 0,
                                "SomeParams.rolloff = -0.1: must round to a float above 0 for RRCOS"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FilterDesign, NegativeOrOverflowingProductsWriteNothing) {
    GenSignalClass obj;
    float tap = kMark;
    int n = 5, err = 5;
    obj.getFilter(RCOS, 0.35, -3, 4, &tap, &n, &err);
    EXPECT_EQ(n, -11);
    EXPECT_EQ(err, 0);
    obj.getFilter(GAUSSIAN, 0.35, -3, 4, &tap, &n, &err);
    EXPECT_EQ(n, -11);
    obj.getFilter(RRCOS, 0.35, 1 << 20, 1 << 12, &tap, &n, &err);
    EXPECT_EQ(n, 0);
    obj.getFilter(GAUSSIAN, 0.35, 1 << 20, 1 << 12, &tap, &n, &err);
    EXPECT_EQ(n, 0);
    obj.getFilter(RECT, 0, 1, 2147483647, &tap, &n, &err);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(tap, kMark);
}

}  // namespace
