// Step sweep: step frequencies and change points measured as instantaneous
// frequency, lengths, refusals, and the entry point.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
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
const C kUntouched(-42.0f, 42.0f);

struct SweepRun {
    int rc;
    int n;
    std::vector<C> s;  // the whole array, room included
};

// `room` samples of caller array, pre-filled so that writes can be seen.
SweepRun runSweep(const StepSweepParams& p, double rate, int room) {
    GenSignalClass obj;
    SweepRun r{0, -7, std::vector<C>(room, kUntouched)};
    r.rc = obj.genStepSweepSig(&p, rate, r.s.data(), &r.n);
    return r;
}

struct StepCase {
    const char* what;
    double start, stop;
    int steps;
    double dwell, rate;
    int perStep;                // samples on each step
    std::vector<double> freqs;  // the steps in time order
};

class StepSweep : public ::testing::TestWithParam<StepCase> {};
void PrintTo(const StepCase& c, std::ostream* os) { *os << c.what; }

TEST_P(StepSweep, StepsInOrderAtTheirChangePoints) {
    const auto& c = GetParam();
    const int N = c.perStep * c.steps;
    const SweepRun r = runSweep({c.start, c.stop, c.steps, c.dwell}, c.rate, N + 300);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.n, N);
    // Sample 0 already carries one increment of the first step.
    EXPECT_NEAR(std::arg(std::complex<double>(r.s[0])), kTwoPi * c.freqs[0] / c.rate, 1e-6);
    for (int i = 1; i < N; ++i)
        ASSERT_NEAR(instantaneousFrequency(r.s[i], r.s[i - 1], c.rate), c.freqs[i / c.perStep], 0.05) << "sample " << i;
    for (int i = 0; i < N; ++i) ASSERT_NEAR(std::abs(r.s[i]), 1.0f, 1e-6f) << i;
    for (int i = N; i < N + 300; ++i) ASSERT_EQ(r.s[i], kUntouched) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, StepSweep,
    ::testing::Values(StepCase{"TwoSteps", 0, 1000, 2, 1e-3, 1e6, 1000, {-500, 500}},
                      StepCase{"FiveSteps", 100, 4100, 5, 1e-3, 48000, 48, {-2000, -1000, 0, 1000, 2000}},
                      StepCase{"ChangesAt480And960", 0, 3000, 3, 10e-3, 48000, 480, {-1500, 0, 1500}},
                      StepCase{"SpacingFlooredTo333", 0, 1000, 4, 1e-3, 48000, 48, {-499.5, -166.5, 166.5, 499.5}},
                      StepCase{"Downwards", 4100, 100, 5, 1e-3, 48000, 48, {2000, 1000, 0, -1000, -2000}},
                      // floor(-333.3) is -334, not -333
                      StepCase{"DownwardsFlooredTo334", 1000, 0, 4, 1e-3, 48000, 48, {501, 167, -167, -501}},
                      StepCase{"NoSpacing", 700, 700, 3, 1e-3, 8000, 8, {0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.what); });

// The step list written out in full, as the sweep is defined; the generator
// forms each step only when it comes into force and must match it bit for bit.
std::vector<C> referenceSweep(const StepSweepParams& p, double rate) {
    const int S = p.stepCount;
    const double delta = std::floor((p.stopFrequency - p.startFrequency) / (S - 1));
    std::vector<double> f(S);
    for (int k = 0; k < S; ++k) f[k] = (k - (S - 1) / 2.0) * delta;
    const int N = static_cast<int>(std::floor(p.dwellTime * rate * S));
    const double dt = 1 / rate;
    std::vector<C> out(N);
    double phi = 0;
    for (int i = 0, s = 1; i < N; ++i) {
        if (s < S && s * p.dwellTime <= i * dt) ++s;
        phi = std::fma(f[s - 1] * 6.283185307179586, dt, phi);
        out[i] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }
    return out;
}

TEST(StepSweepBits, MatchesTheFullStepListOnManyInputs) {
    const struct {
        StepSweepParams p;
        double rate;
    } cases[] = {{{0, 1000, 2, 1e-3}, 1e6},         {{-3e5, 7.7e5, 7, 3.1e-3}, 10e6}, {{1e6, -2e6, 13, 1.7e-3}, 5e6},
                 {{0, 12345.6, 40, 1e-4}, 44100},   {{0, 1e4, 1000, 3e-6}, 1e6},      {{5, 5, 3, 1e-3}, 8000},
                 {{-1e3, 1e3, 101, 2.5e-2}, 96000}, {{0, 1e9, 50000, 1e-7}, 2e7}};
    for (const auto& c : cases) {
        const std::vector<C> expected = referenceSweep(c.p, c.rate);
        const SweepRun r = runSweep(c.p, c.rate, static_cast<int>(expected.size()) + 300);
        ASSERT_EQ(r.rc, 0);
        ASSERT_EQ(r.n, static_cast<int>(expected.size()));
        for (int i = 0; i < r.n; ++i)
            ASSERT_TRUE(std::memcmp(&r.s[i], &expected[i], sizeof(C)) == 0) << "S=" << c.p.stepCount << " i=" << i;
    }
}

// A dwell shorter than a sample with a huge step count: the steps change on
// every sample, and no list of 2^31 steps may be needed.
TEST(StepSweepLimits, HugeStepCountWithShortDwell) {
    const int S = std::numeric_limits<int32_t>::max();
    const SweepRun r = runSweep({0, 2147483646.0, S, 1e-12}, 1e6, 2147 + 300);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.n, 2147);
    // Spacing 1 Hz: step i + 1 is in force at sample i >= 1, i.e. 1 Hz more each sample.
    const auto freq = [&](int i) { return instantaneousFrequency(r.s[i], r.s[i - 1], 1e6); };
    for (int i = 2; i < r.n; ++i) ASSERT_NEAR(freq(i) - freq(i - 1), 1.0, 0.05) << i;
}

TEST(StepSweepEntry, PairsLieOnTheFullScaleCircle) {
    const Handle h;
    const StepSweepParams p{0, 1000, 2, 1e-3};
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateStepSweepWaveform(h.id, &p, &iq, &count, 1e6), 0);
    ASSERT_EQ(count, 4000);
    for (int i = 0; i < 2000; ++i) ASSERT_NEAR(std::hypot(iq[2 * i], iq[2 * i + 1]), 32766, 1.0) << i;
}

// Every rule of the record, refused by the generator (nothing written) and
// through the entry point with a reason that names the field.
struct Rejection {
    const char* what;
    StepSweepParams p;
    double rate;
    const char* reason;
};

class StepSweepRejection : public ::testing::TestWithParam<Rejection> {};
void PrintTo(const Rejection& c, std::ostream* os) { *os << c.what; }

TEST_P(StepSweepRejection, RefusedWithMinusOneAndAReason) {
    const auto& c = GetParam();
    const SweepRun r = runSweep(c.p, c.rate, 64);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.n, -7);
    for (const C& x : r.s) ASSERT_EQ(x, kUntouched);
    const Handle h;
    expectRefusal([&](int16_t** iq, int* n) { return GenerateStepSweepWaveform(h.id, &c.p, iq, n, c.rate); }, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StepSweepRejection,
    ::testing::Values(
        Rejection{"OneStep", {0, 1000, 1, 1e-3}, 48000, "StepSweepParams.stepCount = 1: must be at least 2"},
        Rejection{"NoSteps", {0, 1000, 0, 1e-3}, 48000, "StepSweepParams.stepCount = 0: must be at least 2"},
        Rejection{"NegativeSteps", {0, 1000, -3, 1e-3}, 48000, "StepSweepParams.stepCount = -3: must be at least 2"},
        Rejection{"ZeroDwell", {0, 1000, 2, 0}, 48000, "StepSweepParams.dwellTime = 0: must be finite and above 0"},
        Rejection{"NegativeDwell", {0, 1000, 2, -1e-3}, 48000, "StepSweepParams.dwellTime = -0.001: must be finite"},
        Rejection{"NanDwell", {0, 1000, 2, NAN}, 48000, "StepSweepParams.dwellTime = nan: must be finite"},
        Rejection{"InfiniteDwell", {0, 1000, 2, INFINITY}, 48000, "StepSweepParams.dwellTime = inf: must be finite"},
        Rejection{"NanStart", {NAN, 1000, 2, 1e-3}, 48000, "StepSweepParams.startFrequency = nan: must be finite"},
        Rejection{"InfiniteStop", {0, INFINITY, 2, 1e-3}, 48000, "StepSweepParams.stopFrequency = inf: must be finite"},
        Rejection{"SpanBeyondDouble",
                  {-1e308, 1e308, 2, 1e-3},
                  48000,
                  "StepSweepParams.stopFrequency = 1e+308: its distance from startFrequency = -1e+308 must be "
                  "finite"},
        Rejection{"ZeroRate", {0, 1000, 2, 1e-3}, 0, "sampleRate = 0: must be finite and above 0"},
        Rejection{"NegativeRate", {0, 1000, 2, 1e-3}, -1, "sampleRate = -1: must be finite and above 0"},
        Rejection{"NanRate", {0, 1000, 2, 1e-3}, NAN, "sampleRate = nan: must be finite and above 0"},
        Rejection{"InfiniteRate", {0, 1000, 2, 1e-3}, INFINITY, "sampleRate = inf: must be finite and above 0"},
        Rejection{"NoWholeSample",
                  {0, 1000, 2, 1e-7},
                  48000,
                  "StepSweepParams.dwellTime = 1e-07: 2 steps must span at least one sample at sampleRate = 48000"},
        Rejection{"LengthOf2To30",
                  {0, 1000, 2, 0.5},
                  1073741824.0,
                  "result of 1073741824 samples: must be finite and below 2^30"},
        Rejection{"LengthBeyond32Bits",
                  {0, 1000, 4, 1.0},
                  1e9,
                  "result of 4000000000 samples: must be finite and below 2^30"}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
