// AM generator: lengths, shapes, offsets and refusals, checked through the
// generator and through the entry point.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "genSignalClass.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::expectRefusal;
using testing_support::Handle;

struct AmRun {
    int rc;
    std::vector<double> x;
};

AmRun runAm(double fm, double depth, int shape, double rate) {
    GenSignalClass obj;
    const AMModParams p{fm, depth, shape};
    double* x = nullptr;
    int n = -1;
    AmRun r{obj.genAMSig(&p, rate, &x, &n), {}};
    if (r.rc == 0) r.x.assign(x, x + n);
    std::free(x);
    return r;
}

struct LengthCase {
    double rate, fm;
    int expected;
};

class AmLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(AmLength, WholePeriodsWhenTheyFit) {
    const auto c = GetParam();
    const AmRun r = runAm(c.fm, 50, 1, c.rate);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(static_cast<int>(r.x.size()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, AmLength,
                         ::testing::Values(LengthCase{48000, 1000, 48}, LengthCase{44100, 300, 147},
                                           LengthCase{1000, 3, 3333333}, LengthCase{1000, 400, 25}),
                         [](const auto& info) { return "n" + std::to_string(info.param.expected); });

TEST(Am, SineFullDepthRunsFromZeroToFullScale) {
    const Handle h;
    const AMModParams p{1000, 100, 1};
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateAmWaveform(h.id, &p, &iq, &count, 48000), 0);
    ASSERT_EQ(count, 96);
    EXPECT_EQ(iq[2 * 12], 32766);
    EXPECT_EQ(iq[2 * 36], 0);
    EXPECT_EQ(iq[0], 16383);
    for (int i = 0; i < 48; ++i) {
        EXPECT_GE(iq[2 * i], 0);
        EXPECT_EQ(iq[2 * i + 1], 0);
    }
}

TEST(Am, SquareHalfDepthLevels) {
    const Handle h;
    const AMModParams p{1000, 50, 2};
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateAmWaveform(h.id, &p, &iq, &count, 48000), 0);
    ASSERT_EQ(count, 96);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(iq[2 * i], 32766) << i;
    for (int i = 24; i < 48; ++i) EXPECT_EQ(iq[2 * i], 10922) << i;
}

TEST(Am, TriangleAndSawtoothShapes) {
    // 8 samples per period, depth 100: d = 0 for both shapes.
    const AmRun tri = runAm(1000, 100, 3, 8000);
    ASSERT_EQ(tri.rc, 0);
    const std::vector<double> triExpected{0, 0.25, 0.5, 0.75, 1, 0.75, 0.5, 0.25};
    ASSERT_EQ(tri.x.size(), 8u);
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(tri.x[i], triExpected[i], 1e-12) << i;

    const AmRun saw = runAm(1000, 100, 4, 8000);
    ASSERT_EQ(saw.rc, 0);
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(saw.x[i], i / 8.0, 1e-12) << i;
}

TEST(Am, OverModulationGivesNegativeTroughs) {
    const AmRun r = runAm(1000, 200, 1, 48000);
    ASSERT_EQ(r.rc, 0);
    EXPECT_NEAR(r.x[36], -0.5, 1e-12);  // sin = -1 plus d = 0.5
    EXPECT_NEAR(r.x[12], 1.5, 1e-12);
}

// A depth of 1e-45 % lifts the wave by 1/m, about 7e46: its scale,
// 32766 / 7e46, is no normal float, so the peak would not come out at
// 32766 (and at still smaller depths every value would be 0).
TEST(Am, DepthTooSmallToScaleIsRefusedByTheEntryPoint) {
    ASSERT_EQ(runAm(1000, 1.4e-45, 1, 48000).rc, 0);
    const int h = GenSignalObjCreatSelfEncode();
    const AMModParams p{1000, 1.4e-45, 1};
    int16_t* iq = nullptr;
    int count = 5;
    EXPECT_EQ(GenerateAmWaveform(h, &p, &iq, &count, 48000), -1);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(iq, nullptr);
    char message[256];
    GenSignalGetLastError(message, sizeof message);
    EXPECT_NE(std::string(message).find("is too large to scale into 16 bits"), std::string::npos) << message;
    GenSignalObjRelease(h);
}

// Every rule of the record, refused by the generator and through the entry
// point with a reason that names the field.
struct Rejection {
    const char* what;
    double fm, depth;
    int shape;
    double rate;
    const char* reason;
};

class AmRejection : public ::testing::TestWithParam<Rejection> {};

TEST_P(AmRejection, RefusedWithMinusOneAndAReason) {
    const auto c = GetParam();
    const AmRun r = runAm(c.fm, c.depth, c.shape, c.rate);
    EXPECT_EQ(r.rc, -1);
    const Handle h;
    const AMModParams p{c.fm, c.depth, c.shape};
    expectRefusal([&](int16_t** iq, int* n) { return GenerateAmWaveform(h.id, &p, iq, n, c.rate); }, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AmRejection,
    ::testing::Values(
        Rejection{"Shape0", 1000, 50, 0, 48000,
                  "AMModParams.modShape = 0: must be 1 (sine), 2 (square), 3 (triangle) or 4 (sawtooth)"},
        Rejection{"Shape5", 1000, 50, 5, 48000, "AMModParams.modShape = 5: must be 1 (sine)"},
        Rejection{"ZeroFrequency", 0, 50, 1, 48000, "AMModParams.modFrequency = 0: must be finite and above 0"},
        Rejection{"NanFrequency", NAN, 50, 1, 48000, "AMModParams.modFrequency = nan: must be finite and above 0"},
        Rejection{"InfiniteFrequency", INFINITY, 50, 1, 48000, "AMModParams.modFrequency = inf: must be finite"},
        Rejection{"ZeroDepth", 1000, 0, 1, 48000, "AMModParams.modDepth = 0: must be above 0"},
        Rejection{"NegativeDepth", 1000, -20, 1, 48000, "AMModParams.modDepth = -20: must be above 0"},
        Rejection{"NanDepth", 1000, NAN, 1, 48000, "AMModParams.modDepth = nan: must be above 0"},
        Rejection{"ZeroRate", 1000, 50, 1, 0, "sampleRate = 0: must be finite and above 0"},
        Rejection{"NegativeRate", 1000, 50, 1, -48000, "sampleRate = -48000: must be finite and above 0"},
        Rejection{"NanRate", 1000, 50, 1, NAN, "sampleRate = nan: must be finite and above 0"},
        Rejection{"InfiniteRate", 1000, 50, 1, INFINITY, "sampleRate = inf: must be finite and above 0"},
        Rejection{"LengthZero", 1e9, 50, 1, 1000,
                  "AMModParams.modFrequency = 1000000000: 10000 periods make no whole sample at sampleRate = 1000"},
        Rejection{"LengthOf2To30", 1, 50, 1, 1073741824.0,
                  "result of 1073741824 samples: must be finite and below 2^30"},
        Rejection{"LengthBeyond32Bits", 1e-3, 50, 1, 1e9,
                  "result of 1000000000000 samples: must be finite and below 2^30"}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
