// Multitone generator: pattern lengths, tone placement, the seam of an
// unresampled buffer, the resampled path, refusals and wavegen multitone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "genSignalClass.h"
#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

using cf = std::complex<float>;

MultitoneParams record(int toneCount, double spacing) {
    MultitoneParams p;
    std::memset(&p, 0, sizeof p);
    p.toneCount = toneCount;
    p.toneSpacing = spacing;
    return p;
}

struct ToneRun {
    int rc;
    std::vector<cf> x;
};

ToneRun runMultitone(int toneCount, double spacing, double rate) {
    GenSignalClass obj;
    const MultitoneParams p = record(toneCount, spacing);
    cf* x = nullptr;
    int n = -1;
    ToneRun r{obj.genMultitoneSig(&p, rate, &x, &n), {}};
    if (r.rc == 0) r.x.assign(x, x + n);
    std::free(x);
    return r;
}

// The tone set the record describes, summed in double at time t.
std::complex<double> toneSum(int N, double df, double t) {
    std::complex<double> s = 0;
    const double first = N % 2 == 0 ? -(N - 1) * df / 2 : -(N - 1) / 2 * df;
    for (int k = 0; k < N; ++k) s += std::polar(1.0, 2 * M_PI * (first + k * df) * t);
    return s;
}

struct Unresampled {
    int N;
    double df, rate;
    int length;
};

class MultitoneWhole : public ::testing::TestWithParam<Unresampled> {};

TEST_P(MultitoneWhole, OneCommonPeriodOfTheTones) {
    const auto c = GetParam();
    const ToneRun r = runMultitone(c.N, c.df, c.rate);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(static_cast<int>(r.x.size()), c.length);
    EXPECT_EQ(r.x[0], cf(static_cast<float>(c.N), 0.0f));
    for (int i = 0; i < c.length; ++i) {
        const auto e = toneSum(c.N, c.df, i / c.rate);
        ASSERT_NEAR(r.x[i].real(), e.real(), 2e-5 * c.N) << i;
        ASSERT_NEAR(r.x[i].imag(), 0.0, 2e-5 * c.N) << i;
    }
    // Played in a loop, the step from the last sample back to the first is
    // no larger than the steps inside the buffer: no jump at the seam.
    double largestStep = 0;
    for (int i = 0; i + 1 < c.length; ++i) largestStep = std::max(largestStep, double(std::abs(r.x[i + 1] - r.x[i])));
    EXPECT_LE(std::abs(r.x[0] - r.x[c.length - 1]), largestStep * 1.0001);
    // And the next sample of the tone set after the buffer is its first one.
    const auto next = toneSum(c.N, c.df, c.length / c.rate);
    EXPECT_NEAR(next.real(), c.N, 1e-6 * c.N);

    // Through the entry point: (N, 0) becomes (32766, 0) and every Q is 0.
    const int h = GenSignalObjCreatSelfEncode();
    const MultitoneParams p = record(c.N, c.df);
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateMultitoneWaveform(h, &p, &iq, &count, c.rate), 0);
    ASSERT_EQ(count, 2 * c.length);
    EXPECT_EQ(iq[0], 32766);
    for (int i = 0; i < c.length; ++i) ASSERT_EQ(iq[2 * i + 1], 0) << i;
    GenSignalObjRelease(h);
}

INSTANTIATE_TEST_SUITE_P(Examples, MultitoneWhole,
                         ::testing::Values(Unresampled{2, 1000, 1e6, 2000}, Unresampled{3, 1000, 1e6, 1000},
                                           Unresampled{5, 1000, 48000, 48}, Unresampled{8, 250, 175000, 1400}),
                         [](const auto& info) { return "N" + std::to_string(info.param.N); });

TEST(Multitone, ResampledFromTheInternalRate) {
    // Tones +-150 and +-450 Hz: K = 2222, r' = 999900 Hz, L = 6666.
    const ToneRun r = runMultitone(4, 300, 1e6);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.x.size(), 6667u);
    // The pattern at the internal rate itself is not resampled; resampling
    // it to 1 MHz gives the generator's output bit for bit.
    const ToneRun pattern = runMultitone(4, 300, 999900);
    ASSERT_EQ(pattern.rc, 0);
    ASSERT_EQ(pattern.x.size(), 6666u);
    GenSignalClass obj;
    std::vector<cf> y(6671);
    int n = 0;
    obj.FarrowInterp(pattern.x.data(), 6666, 1e6, 999900, y.data(), &n);
    ASSERT_EQ(n, 6667);
    for (int i = 0; i < n; ++i) ASSERT_EQ(r.x[i], y[i]) << i;
}

struct Rejection {
    const char* name;
    int N;
    double df, rate;
};

class MultitoneRejection : public ::testing::TestWithParam<Rejection> {};

TEST_P(MultitoneRejection, RefusedWithoutOutput) {
    const auto c = GetParam();
    GenSignalClass obj;
    const MultitoneParams p = record(c.N, c.df);
    cf marker;
    cf* x = &marker;
    int n = 7;
    EXPECT_EQ(obj.genMultitoneSig(&p, c.rate, &x, &n), -1);
    EXPECT_EQ(x, &marker);

    const int h = GenSignalObjCreatSelfEncode();
    int16_t* iq = nullptr;
    int count = 5;
    EXPECT_EQ(GenerateMultitoneWaveform(h, &p, &iq, &count, c.rate), -1);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(iq, nullptr);
    GenSignalObjRelease(h);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MultitoneRejection,
    ::testing::Values(Rejection{"OneTone", 1, 1000, 1e6}, Rejection{"NoTones", 0, 1000, 1e6},
                      Rejection{"NegativeCount", -4, 1000, 1e6}, Rejection{"ZeroSpacing", 4, 0, 1e6},
                      Rejection{"NegativeSpacing", 4, -1000, 1e6}, Rejection{"NanSpacing", 4, NAN, 1e6},
                      Rejection{"InfiniteSpacing", 4, INFINITY, 1e6}, Rejection{"ZeroRate", 4, 1000, 0},
                      Rejection{"NegativeRate", 4, 1000, -1e6}, Rejection{"NanRate", 4, 1000, NAN},
                      Rejection{"InfiniteRate", 4, 1000, INFINITY},
                      Rejection{"RateBelowHighestTone", 5, 1000, 1999},
                      Rejection{"SpacingUnderflowsToZeroTone", 2, 4.9e-324, 1e6},
                      Rejection{"ToneSamplesBeyond2To30", 2, 1, 1e9},
                      Rejection{"PatternBeyond2To30", 6, 1, 1e9},
                      Rejection{"ResampledBeyond2To30", 2, 2, 1073741823.5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Multitone, NullArgumentsAreRefused) {
    GenSignalClass obj;
    const MultitoneParams p = record(2, 1000);
    cf* x = nullptr;
    int n = 0;
    EXPECT_EQ(obj.genMultitoneSig(nullptr, 1e6, &x, &n), -1);
    EXPECT_EQ(obj.genMultitoneSig(&p, 1e6, nullptr, &n), -1);
    EXPECT_EQ(obj.genMultitoneSig(&p, 1e6, &x, nullptr), -1);
}

TEST(Multitone, WavegenWritesTheLibraryBuffer) {
    WavegenDir wavegen;
    wavegen.open();
    if (!wavegen.ready()) return;
    std::string output;
    ASSERT_EQ(wavegen.run("multitone --tone-count 4 --tone-spacing 300 --sample-rate 1e6 -o mt", output), 0) << output;

    const MultitoneParams p = record(4, 300);
    const auto lib =
        libraryIq([&](int h, int16_t** iq, int* count) { return GenerateMultitoneWaveform(h, &p, iq, count, 1e6); });
    ASSERT_EQ(lib.rc, 0);
    EXPECT_TRUE(sameSamples(wavegen.readFile("mt.sigmf-data"), lib.iq));
    const std::string metaText = wavegen.readText("mt.sigmf-meta");
    EXPECT_NE(metaText.find("\"gensignal:toneCount\": 4"), std::string::npos) << metaText;
    EXPECT_NE(metaText.find("\"gensignal:toneSpacing\": 300.0"), std::string::npos) << metaText;
}

}  // namespace
