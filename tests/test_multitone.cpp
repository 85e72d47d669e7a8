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
#include "testSupport.h"
#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::expectRefusal;
using testing_support::Handle;

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
    const Handle h;
    const MultitoneParams p = record(c.N, c.df);
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateMultitoneWaveform(h.id, &p, &iq, &count, c.rate), 0);
    ASSERT_EQ(count, 2 * c.length);
    EXPECT_EQ(iq[0], 32766);
    for (int i = 0; i < c.length; ++i) ASSERT_EQ(iq[2 * i + 1], 0) << i;
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

// Every rule of the record, refused by the generator (nothing handed out)
// and through the entry point with a reason that names the field.
struct Rejection {
    const char* name;
    int N;
    double df, rate;
    const char* reason;
};

class MultitoneRejection : public ::testing::TestWithParam<Rejection> {};

TEST_P(MultitoneRejection, RefusedWithMinusOneAndAReason) {
    const auto c = GetParam();
    GenSignalClass obj;
    const MultitoneParams p = record(c.N, c.df);
    cf marker;
    cf* x = &marker;
    int n = 7;
    EXPECT_EQ(obj.genMultitoneSig(&p, c.rate, &x, &n), -1);
    EXPECT_EQ(x, &marker);
    EXPECT_EQ(n, 7);

    const Handle h;
    expectRefusal([&](int16_t** iq, int* count) { return GenerateMultitoneWaveform(h.id, &p, iq, count, c.rate); },
                  c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MultitoneRejection,
    ::testing::Values(
        Rejection{"OneTone", 1, 1000, 1e6, "MultitoneParams.toneCount = 1: must be at least 2"},
        Rejection{"NoTones", 0, 1000, 1e6, "MultitoneParams.toneCount = 0: must be at least 2"},
        Rejection{"NegativeCount", -4, 1000, 1e6, "MultitoneParams.toneCount = -4: must be at least 2"},
        Rejection{"ZeroSpacing", 4, 0, 1e6, "MultitoneParams.toneSpacing = 0: must be finite and above 0"},
        Rejection{"NegativeSpacing", 4, -1000, 1e6, "MultitoneParams.toneSpacing = -1000: must be finite"},
        Rejection{"NanSpacing", 4, NAN, 1e6, "MultitoneParams.toneSpacing = nan: must be finite"},
        Rejection{"InfiniteSpacing", 4, INFINITY, 1e6, "MultitoneParams.toneSpacing = inf: must be finite"},
        Rejection{"ZeroRate", 4, 1000, 0, "sampleRate = 0: must be finite and above 0"},
        Rejection{"NegativeRate", 4, 1000, -1e6, "sampleRate = -1000000: must be finite and above 0"},
        Rejection{"NanRate", 4, 1000, NAN, "sampleRate = nan: must be finite and above 0"},
        Rejection{"InfiniteRate", 4, 1000, INFINITY, "sampleRate = inf: must be finite and above 0"},
        Rejection{"RateBelowHighestTone", 5, 1000, 1999, "sampleRate = 1999 is below the highest tone, 2000 Hz"},
        Rejection{"SpacingUnderflowsToZeroTone", 2, 4.9e-324, 1e6,
                  "MultitoneParams.toneSpacing = 5e-324: the lowest tone rounds to 0 Hz"},
        Rejection{"ToneSamplesBeyond2To30", 2, 1, 1e9, "result of 2000000000 samples: must be finite and below 2^30"},
        Rejection{"PatternBeyond2To30", 6, 1, 1e9, "result of 2000000000 samples: must be finite and below 2^30"},
        Rejection{"ResampledBeyond2To30", 2, 2, 1073741823.5,
                  "result of 1073741824 samples: must be finite and below 2^30"}),
    [](const auto& info) { return std::string(info.param.name); });

// The highest tone, K and L follow from the tone count and spacing alone, so
// a tone count far beyond what the rate can hold is refused before a tone
// list of that size exists. Under a 64 MiB cap such a list (16 GiB for
// 2^31 - 1 tones, 2 GiB for 2^28) could not be had, and the refusal would
// say so instead.
struct HugeToneCount {
    int N;
    double df, rate;
    const char* reason;
};

int refusedWithReason(const HugeToneCount& c) {
    const Handle h;
    const MultitoneParams p = record(c.N, c.df);
    int16_t* iq = nullptr;
    int count = 0;
    const int rc = GenerateMultitoneWaveform(h.id, &p, &iq, &count, c.rate);
    const std::string why = testing_support::lastError();
    std::fprintf(stderr, "rc %d: %s\n", rc, why.c_str());
    return rc == -1 && why == c.reason ? 0 : 1;
}

TEST(MultitoneLimits, ToneCountsBeyondTheRateAreRefusedBeforeAllocating) {
    if (!testing_support::kAddressSpaceCapUsable) GTEST_SKIP() << "address-space cap unusable under sanitizers";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const HugeToneCount& c :
         {HugeToneCount{2147483647, 1000, 1000, "sampleRate = 1000 is below the highest tone, 1073741823000 Hz"},
          HugeToneCount{1 << 28, 1, 1e9, "result of 1879048185 samples: must be finite and below 2^30"}}) {
        EXPECT_EXIT(testing_support::exitUnderAddressSpaceCap(64u << 20, [&] { return refusedWithReason(c); }),
                    ::testing::ExitedWithCode(0), "")
            << c.N << " tones";
    }
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
