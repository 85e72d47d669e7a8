// Pulse generator: the whole-sample and resampled periods, width limits,
// refusals and wavegen pulse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "genSignalClass.h"
#include "testSupport.h"
#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::expectRefusal;
using testing_support::Handle;

struct PulseRun {
    int rc;
    std::vector<float> x;
};

PulseRun runPulse(double width, double period, double rate) {
    GenSignalClass obj;
    const PulseParams p{width, period};
    float* x = nullptr;
    int n = -1;
    PulseRun r{obj.genPulseSig(&p, rate, &x, &n), {}};
    if (r.rc == 0) r.x.assign(x, x + n);
    std::free(x);
    return r;
}

TEST(Pulse, WholeSamplePeriodThroughTheEntryPoint) {
    const Handle h;
    const PulseParams p{1e-3, 4e-3};
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GeneratePulseWaveform(h.id, &p, &iq, &count, 1e6), 0);
    ASSERT_EQ(count, 8000);
    for (int i = 0; i < 4000; ++i) {
        ASSERT_EQ(iq[2 * i], i < 1000 ? 32766 : 0) << i;
        ASSERT_EQ(iq[2 * i + 1], 0) << i;
    }
}

TEST(Pulse, ResampledWhenThePeriodIsNotWholeSamples) {
    // 44 samples (8 high) at 44000 Hz, brought to 44100 Hz.
    const PulseRun r = runPulse(0.2e-3, 1e-3, 44100);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.x.size(), 45u);
    std::vector<float> period(44, 0.0f);
    for (int i = 0; i < 8; ++i) period[i] = 1.0f;
    GenSignalClass obj;
    float* y = nullptr;
    int n = 0;
    obj.FarrowInterp_real(period.data(), 44, 44100, 44000, &y, &n);
    ASSERT_EQ(n, 45);
    for (int i = 0; i < n; ++i) EXPECT_EQ(r.x[i], y[i]) << i;
    std::free(y);
    // Cubic interpolation rings slightly at the edges.
    EXPECT_EQ(r.x[0], 1.0f);
    EXPECT_GT(*std::max_element(r.x.begin(), r.x.end()), 1.0f);
}

struct Shape {
    const char* name;
    double width, period, rate;
    int length, high;
};

class PulseShape : public ::testing::TestWithParam<Shape> {};

TEST_P(PulseShape, HighThenLow) {
    const auto c = GetParam();
    const PulseRun r = runPulse(c.width, c.period, c.rate);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(static_cast<int>(r.x.size()), c.length);
    for (int i = 0; i < c.length; ++i) ASSERT_EQ(r.x[i], i < c.high ? 1.0f : 0.0f) << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, PulseShape,
                         ::testing::Values(Shape{"WidthEqualsPeriod", 4e-3, 4e-3, 1e6, 4000, 4000},
                                           Shape{"WidthBelowOneSample", 0.5e-6, 4e-3, 1e6, 4000, 0},
                                           Shape{"WidthWithinTheLastSample", 4.0005e-3, 4e-3, 1e6, 4000, 4000},
                                           Shape{"OneSamplePeriod", 1e-6, 1e-6, 1e6, 1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// Every rule of the record, refused by the generator (nothing handed out)
// and through the entry point with a reason that names the field.
struct Rejection {
    const char* name;
    double width, period, rate;
    const char* reason;
};

class PulseRejection : public ::testing::TestWithParam<Rejection> {};

TEST_P(PulseRejection, RefusedWithMinusOneAndAReason) {
    const auto c = GetParam();
    GenSignalClass obj;
    const PulseParams p{c.width, c.period};
    float marker = 0;
    float* x = &marker;
    int n = 7;
    EXPECT_EQ(obj.genPulseSig(&p, c.rate, &x, &n), -1);
    EXPECT_EQ(x, &marker);
    EXPECT_EQ(n, 7);

    const Handle h;
    expectRefusal([&](int16_t** iq, int* count) { return GeneratePulseWaveform(h.id, &p, iq, count, c.rate); },
                  c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PulseRejection,
    ::testing::Values(
        Rejection{"WidthBeyondPeriod", 4.001e-3, 4e-3, 1e6,
                  "PulseParams.pulseWidth = 0.004001: must not span more than the 4000 samples of pulsePeriod = 0.004"},
        Rejection{"HugeWidth", 1e300, 4e-3, 1e6, "PulseParams.pulseWidth = 1e+300: must not span more than the 4000"},
        Rejection{"PeriodBelowOneSample", 0.1e-6, 0.5e-6, 1e6,
                  "PulseParams.pulsePeriod = 5e-07: must span at least one sample at sampleRate = 1000000"},
        Rejection{"ZeroWidth", 0, 4e-3, 1e6, "PulseParams.pulseWidth = 0: must be finite and above 0"},
        Rejection{"NegativeWidth", -1e-3, 4e-3, 1e6, "PulseParams.pulseWidth = -0.001: must be finite and above 0"},
        Rejection{"NanWidth", NAN, 4e-3, 1e6, "PulseParams.pulseWidth = nan: must be finite and above 0"},
        Rejection{"InfiniteWidth", INFINITY, 4e-3, 1e6, "PulseParams.pulseWidth = inf: must be finite and above 0"},
        Rejection{"ZeroPeriod", 1e-3, 0, 1e6, "PulseParams.pulsePeriod = 0: must be finite and above 0"},
        Rejection{"NegativePeriod", 1e-3, -4e-3, 1e6, "PulseParams.pulsePeriod = -0.004: must be finite and above 0"},
        Rejection{"NanPeriod", 1e-3, NAN, 1e6, "PulseParams.pulsePeriod = nan: must be finite and above 0"},
        Rejection{"InfinitePeriod", 1e-3, INFINITY, 1e6, "PulseParams.pulsePeriod = inf: must be finite and above 0"},
        Rejection{"PeriodOf2To30Samples", 1e-3, 1073.741824, 1e6,
                  "result of 1073741824 samples: must be finite and below 2^30"},
        Rejection{"ResampledTo2To30", 1e-3, 1073.7418235, 1e6,
                  "result of 1073741824 samples: must be finite and below 2^30"},
        Rejection{"ZeroRate", 1e-3, 4e-3, 0, "sampleRate = 0: must be finite and above 0"},
        Rejection{"NegativeRate", 1e-3, 4e-3, -1e6, "sampleRate = -1000000: must be finite and above 0"},
        Rejection{"NanRate", 1e-3, 4e-3, NAN, "sampleRate = nan: must be finite and above 0"},
        Rejection{"InfiniteRate", 1e-3, 4e-3, INFINITY, "sampleRate = inf: must be finite and above 0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pulse, WavegenWritesTheLibraryBuffer) {
    WavegenDir wavegen;
    wavegen.open();
    if (!wavegen.ready()) return;
    std::string output;
    ASSERT_EQ(
        wavegen.run("pulse --pulse-width 0.2e-3 --pulse-period 1e-3 --sample-rate 44100 --format raw -o p", output), 0)
        << output;
    const auto data = wavegen.readFile("p.raw");

    const PulseParams p{0.2e-3, 1e-3};
    const auto lib =
        libraryIq([&](int h, int16_t** iq, int* count) { return GeneratePulseWaveform(h, &p, iq, count, 44100); });
    ASSERT_EQ(lib.rc, 0);
    ASSERT_EQ(lib.iq.size(), 90u);
    ASSERT_EQ(data.size(), 180u);
    EXPECT_TRUE(sameSamples(data, lib.iq));
}

}  // namespace
