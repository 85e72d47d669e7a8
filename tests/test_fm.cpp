// FM generator: whole-period lengths, the four modulating shapes measured as
// instantaneous frequency, the empty result, refusals, and the entry point.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "genSignalClass.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::expectRefusal;
using testing_support::Handle;
using testing_support::instantaneousFrequency;
using C = std::complex<float>;
constexpr double kTwoPi = 6.283185307179586;

struct FmRun {
    int rc;
    int n;
    bool nullArray;
    std::vector<C> s;
};

FmRun runFm(double fm, double deviation, int shape, double rate) {
    GenSignalClass obj;
    const FMModParams p{fm, deviation, shape};
    C* s = nullptr;
    int n = -7;
    FmRun r{obj.genFMSig(&p, rate, &s, &n), n, s == nullptr, {}};
    if (r.rc == 0) r.s.assign(s, s + n);
    std::free(s);
    return r;
}

struct LengthCase {
    double rate, fm;
    int expected;
};

class FmLength : public ::testing::TestWithParam<LengthCase> {};
void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.fm << " Hz at " << c.rate; }

TEST_P(FmLength, WholePeriodsWhenTheyFit) {
    const auto c = GetParam();
    const FmRun r = runFm(c.fm, 100, 3, c.rate);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.n, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, FmLength,
                         ::testing::Values(LengthCase{48000, 1000, 48}, LengthCase{1000, 400, 25},
                                           LengthCase{1000, 3, 3333333}, LengthCase{44100, 300, 147}),
                         [](const auto& info) { return "n" + std::to_string(info.param.expected); });

// 48 samples per period: the modulating value w at sample i, from the shape's
// definition rather than the generator's segment counting.
double expectedW(int shape, int i) {
    const double p = (i % 48) / 48.0;
    switch (shape) {
        case 1: return std::sin(kTwoPi * p);
        case 2: return p < 0.5 ? 1.0 : -1.0;
        case 3: return p < 0.5 ? 4 * p - 1 : 3 - 4 * p;
        default: return 2 * p - 1;
    }
}

struct ShapeCase {
    int shape;
    double deviation;
};

class FmShape : public ::testing::TestWithParam<ShapeCase> {};
void PrintTo(const ShapeCase& c, std::ostream* os) { *os << "shape " << c.shape << ", " << c.deviation << " Hz"; }

TEST_P(FmShape, InstantaneousFrequencyFollowsTheShape) {
    const auto c = GetParam();
    const FmRun r = runFm(1000, c.deviation, c.shape, 48000);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.n, 48);
    // Sample 0 already carries the first increment.
    EXPECT_NEAR(std::arg(std::complex<double>(r.s[0])), kTwoPi * c.deviation * expectedW(c.shape, 0) / 48000, 1e-6);
    for (int i = 1; i < 48; ++i)
        EXPECT_NEAR(instantaneousFrequency(r.s[i], r.s[i - 1], 48000), c.deviation * expectedW(c.shape, i), 0.05)
            << "sample " << i;
    for (const C& x : r.s) EXPECT_NEAR(std::abs(x), 1.0f, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(Shapes, FmShape,
                         ::testing::Values(ShapeCase{1, 3000}, ShapeCase{2, 1000}, ShapeCase{3, 2000},
                                           ShapeCase{4, 1000}, ShapeCase{4, -1500}, ShapeCase{1, -700}),
                         [](const auto& info) {
                             return "shape" + std::to_string(info.param.shape) +
                                    (info.param.deviation < 0 ? "Inverted" : "");
                         });

// The sine case as defined, step by step, over a long waveform where any
// change in the order of the phase arithmetic shows.
TEST(Fm, SineMatchesTheDefinitionBitForBit) {
    const double rate = 1000, fm = 3, deviation = 120;
    const FmRun r = runFm(fm, deviation, 1, rate);
    ASSERT_EQ(r.n, 3333333);
    const double c = (kTwoPi / rate) * deviation;
    double phi = 0;
    for (int i = 0; i < r.n; ++i) {
        phi = std::fma(std::sin(i * (1 / rate) * (fm * kTwoPi)), c, phi);
        const C expected(static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi)));
        ASSERT_TRUE(std::memcmp(&r.s[i], &expected, sizeof(C)) == 0) << i;
    }
}

TEST(Fm, SquarePhaseClimbsToPiAndReturnsToZero) {
    const FmRun r = runFm(1000, 1000, 2, 48000);
    ASSERT_EQ(r.n, 48);
    // 24 steps of 2*pi/48 reach pi at sample 23, then 24 steps back.
    EXPECT_NEAR(r.s[23].real(), -1.0f, 1e-6f);
    EXPECT_NEAR(r.s[47].real(), 1.0f, 1e-6f);
    EXPECT_NEAR(r.s[47].imag(), 0.0f, 1e-6f);
}

TEST(Fm, ZeroDeviationIsAnUnmodulatedCarrier) {
    for (int shape = 1; shape <= 4; ++shape) {
        const FmRun r = runFm(400, 0, shape, 1000);
        ASSERT_EQ(r.n, 25);
        for (const C& x : r.s) ASSERT_EQ(x, C(1, 0)) << "shape " << shape;
    }
}

// Above 10000 x the sample rate not one sample fits: a valid empty result.
TEST(Fm, NoSampleFitsGivesAnEmptyResult) {
    const FmRun r = runFm(20000, 1000, 1, 1);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.n, 0);
    EXPECT_TRUE(r.nullArray);

    const Handle h;
    const FMModParams empty{20000, 1000, 1};
    // No buffer to hand out yet.
    expectRefusal([&](int16_t** iq, int* n) { return GenerateFmWaveform(h.id, &empty, iq, n, 1); },
                  "the waveform is empty and the handle holds no earlier buffer");
    int16_t* iq = nullptr;
    int count = 77;
    const FMModParams one{1000, 1000, 1};
    ASSERT_EQ(GenerateFmWaveform(h.id, &one, &iq, &count, 48000), 0);
    int16_t* first = iq;
    EXPECT_EQ(GenerateFmWaveform(h.id, &empty, &iq, &count, 1), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(iq, first);
}

TEST(Fm, EntryPointPutsEverySampleOnTheFullScaleCircle) {
    const Handle h;
    const FMModParams p{1000, 5000, 1};
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateFmWaveform(h.id, &p, &iq, &count, 48000), 0);
    ASSERT_EQ(count, 96);
    EXPECT_EQ(iq[0], 32766);  // w_0 = 0: the first sample is (1, 0)
    EXPECT_EQ(iq[1], 0);
    for (int i = 0; i < 48; ++i) EXPECT_NEAR(std::hypot(iq[2 * i], iq[2 * i + 1]), 32766, 1.0) << i;
}

// Every rule of the record, refused by the generator (nothing written) and
// through the entry point with a reason that names the field.
struct Rejection {
    const char* what;
    double fm, deviation;
    int shape;
    double rate;
    const char* reason;
};

class FmRejection : public ::testing::TestWithParam<Rejection> {};
void PrintTo(const Rejection& c, std::ostream* os) { *os << c.what; }

TEST_P(FmRejection, RefusedWithMinusOneAndAReason) {
    const auto c = GetParam();
    const FmRun r = runFm(c.fm, c.deviation, c.shape, c.rate);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.n, -7);
    EXPECT_TRUE(r.nullArray);
    const Handle h;
    const FMModParams p{c.fm, c.deviation, c.shape};
    expectRefusal([&](int16_t** iq, int* n) { return GenerateFmWaveform(h.id, &p, iq, n, c.rate); }, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FmRejection,
    ::testing::Values(
        Rejection{"Shape0", 1000, 100, 0, 48000,
                  "FMModParams.modShape = 0: must be 1 (sine), 2 (square), 3 (triangle) or 4 (sawtooth)"},
        Rejection{"Shape5", 1000, 100, 5, 48000, "FMModParams.modShape = 5: must be 1 (sine)"},
        Rejection{"Shape5WithoutSamples", 20000, 1000, 5, 1, "FMModParams.modShape = 5"},
        Rejection{"ZeroFrequency", 0, 100, 1, 48000, "FMModParams.modFrequency = 0: must be finite and above 0"},
        Rejection{"NegativeFrequency", -5, 100, 1, 48000, "FMModParams.modFrequency = -5: must be finite"},
        Rejection{"NanFrequency", NAN, 100, 1, 48000, "FMModParams.modFrequency = nan: must be finite"},
        Rejection{"InfiniteFrequency", INFINITY, 100, 1, 48000, "FMModParams.modFrequency = inf: must be finite"},
        Rejection{"NanDeviation", 1000, NAN, 1, 48000, "FMModParams.freqDeviation = nan: must be finite"},
        Rejection{"InfiniteDeviation", 1000, -INFINITY, 2, 48000, "FMModParams.freqDeviation = -inf: must be finite"},
        Rejection{"ZeroRate", 1000, 100, 1, 0, "sampleRate = 0: must be finite and above 0"},
        Rejection{"NegativeRate", 1000, 100, 1, -48000, "sampleRate = -48000: must be finite and above 0"},
        Rejection{"NanRate", 1000, 100, 1, NAN, "sampleRate = nan: must be finite and above 0"},
        Rejection{"InfiniteRate", 1000, 100, 1, INFINITY, "sampleRate = inf: must be finite and above 0"},
        Rejection{"LengthOf2To30", 1, 100, 1, 1073741824.0,
                  "result of 1073741824 samples: must be finite and below 2^30"},
        Rejection{"LengthBeyond32Bits", 1e-3, 100, 1, 1e9,
                  "result of 999999999999 samples: must be finite and below 2^30"}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
