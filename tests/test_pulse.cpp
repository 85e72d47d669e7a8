// Pulse generator: the whole-sample and resampled periods, width limits,
// refusals and wavegen pulse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "genSignalClass.h"
#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

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
    const int h = GenSignalObjCreatSelfEncode();
    const PulseParams p{1e-3, 4e-3};
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GeneratePulseWaveform(h, &p, &iq, &count, 1e6), 0);
    ASSERT_EQ(count, 8000);
    for (int i = 0; i < 4000; ++i) {
        ASSERT_EQ(iq[2 * i], i < 1000 ? 32766 : 0) << i;
        ASSERT_EQ(iq[2 * i + 1], 0) << i;
    }
    GenSignalObjRelease(h);
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

struct Rejection {
    const char* name;
    double width, period, rate;
};

class PulseRejection : public ::testing::TestWithParam<Rejection> {};

TEST_P(PulseRejection, RefusedWithoutOutput) {
    const auto c = GetParam();
    GenSignalClass obj;
    const PulseParams p{c.width, c.period};
    float marker = 0;
    float* x = &marker;
    int n = 0;
    EXPECT_EQ(obj.genPulseSig(&p, c.rate, &x, &n), -1);
    EXPECT_EQ(x, &marker);

    const int h = GenSignalObjCreatSelfEncode();
    int16_t* iq = nullptr;
    int count = 5;
    EXPECT_EQ(GeneratePulseWaveform(h, &p, &iq, &count, c.rate), -1);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(iq, nullptr);
    GenSignalObjRelease(h);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PulseRejection,
    ::testing::Values(Rejection{"WidthBeyondPeriod", 4.001e-3, 4e-3, 1e6}, Rejection{"PeriodBelowOneSample", 0, 0.5e-6, 1e6},
                      Rejection{"PeriodBelowOneSampleWidthSet", 0.1e-6, 0.5e-6, 1e6},
                      Rejection{"ZeroWidth", 0, 4e-3, 1e6}, Rejection{"NegativeWidth", -1e-3, 4e-3, 1e6},
                      Rejection{"NanWidth", NAN, 4e-3, 1e6}, Rejection{"InfiniteWidth", INFINITY, 4e-3, 1e6},
                      Rejection{"HugeWidth", 1e300, 4e-3, 1e6}, Rejection{"ZeroPeriod", 1e-3, 0, 1e6},
                      Rejection{"NegativePeriod", 1e-3, -4e-3, 1e6}, Rejection{"NanPeriod", 1e-3, NAN, 1e6},
                      Rejection{"InfinitePeriod", 1e-3, INFINITY, 1e6},
                      Rejection{"PeriodOf2To30Samples", 1e-3, 1073.741824, 1e6},
                      Rejection{"ResampledTo2To30", 1e-3, 1073.7418235, 1e6}, Rejection{"ZeroRate", 1e-3, 4e-3, 0},
                      Rejection{"NegativeRate", 1e-3, 4e-3, -1e6}, Rejection{"NanRate", 1e-3, 4e-3, NAN},
                      Rejection{"InfiniteRate", 1e-3, 4e-3, INFINITY}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pulse, NullArgumentsAreRefused) {
    GenSignalClass obj;
    const PulseParams p{1e-3, 4e-3};
    float* x = nullptr;
    int n = 0;
    EXPECT_EQ(obj.genPulseSig(nullptr, 1e6, &x, &n), -1);
    EXPECT_EQ(obj.genPulseSig(&p, 1e6, nullptr, &n), -1);
    EXPECT_EQ(obj.genPulseSig(&p, 1e6, &x, nullptr), -1);
}

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
