// Ramp sweep: the ramp measured as instantaneous frequency, the silent tail,
// sweep times longer than the duration, refusals, and the entry point.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
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
const C kUntouched(-42.0f, 42.0f);

struct RampRun {
    int rc;
    int n;
    std::vector<C> s;  // the whole array, room included
};

RampRun runRamp(const RampSweepParams& p, double rate, int room) {
    GenSignalClass obj;
    RampRun r{0, -7, std::vector<C>(room, kUntouched)};
    r.rc = obj.genRampSweepSig(&p, rate, r.s.data(), &r.n);
    return r;
}

struct RampCase {
    const char* what;
    RampSweepParams p;
    double rate;
    int R, N;
};

class RampSweep : public ::testing::TestWithParam<RampCase> {};
void PrintTo(const RampCase& c, std::ostream* os) { *os << c.what; }

TEST_P(RampSweep, LinearRampThenSilence) {
    const auto& c = GetParam();
    const RampRun r = runRamp(c.p, c.rate, c.N + 300);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.n, c.N);
    const double B = c.p.sweepBandwidth;
    // Sample 0 already carries the phase of -B/2; sample k runs at -B/2 + kB/R.
    EXPECT_NEAR(std::arg(std::complex<double>(r.s[0])), kTwoPi * (-B / 2) / c.rate, 1e-6);
    for (int k = 1; k < c.R; ++k)
        ASSERT_NEAR(instantaneousFrequency(r.s[k], r.s[k - 1], c.rate), -B / 2 + k * B / c.R, 1.0) << k;
    for (int k = 0; k < c.R; ++k) ASSERT_NEAR(std::abs(r.s[k]), 1.0f, 1e-6f) << k;
    for (int k = c.R; k < c.N; ++k) ASSERT_EQ(r.s[k], C(0, 0)) << k;
    for (int k = c.N; k < c.N + 300; ++k) ASSERT_EQ(r.s[k], kUntouched) << k;
}

INSTANTIATE_TEST_SUITE_P(Examples, RampSweep,
                         ::testing::Values(RampCase{"TenMegahertz", {1e6, 1e-3, 2e-3}, 10e6, 10000, 20000},
                                           RampCase{"EqualTimesNoSilence", {200e3, 0.5e-3, 0.5e-3}, 1e6, 500, 500},
                                           RampCase{"SweepLongerThanDuration", {200e3, 10e-3, 1e-3}, 1e6, 10000, 10000},
                                           RampCase{"OneSampleRamp", {500, 1e-3, 5e-3}, 1000, 1, 5}),
                         [](const auto& info) { return std::string(info.param.what); });

// The ramp as defined, step by step; long ramps expose any change in the
// order of the phase arithmetic.
TEST(RampSweepBits, MatchesTheDefinitionBitForBit) {
    const struct {
        RampSweepParams p;
        double rate;
    } cases[] = {{{1e6, 1e-3, 2e-3}, 10e6}, {{3e6, 20e-3, 25e-3}, 10e6}, {{44e3, 0.3, 0.3}, 96000}};
    for (const auto& c : cases) {
        const double sweepTime = c.p.sweepTime;
        const int R = static_cast<int>(std::floor(sweepTime * c.rate));
        const RampRun r = runRamp(c.p, c.rate, static_cast<int>(std::floor(c.p.duration * c.rate)) + 300);
        ASSERT_EQ(r.rc, 0);
        const double kappa = c.p.sweepBandwidth / sweepTime;
        const double w = 6.283185307179586 / c.rate;
        double phi = 0;
        for (int k = 0; k < R; ++k) {
            phi = std::fma(w, kappa * (k / c.rate + -(sweepTime * 0.5)), phi);
            const C expected(static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi)));
            ASSERT_TRUE(std::memcmp(&r.s[k], &expected, sizeof(C)) == 0) << "R=" << R << " k=" << k;
        }
    }
}

TEST(RampSweepEntry, TenMegahertzExampleCountAndZeroTail) {
    const Handle h;
    const RampSweepParams p{1e6, 1e-3, 2e-3};
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateRampSweepWaveform(h.id, &p, &iq, &count, 10e6), 0);
    ASSERT_EQ(count, 40000);
    for (int i = 0; i < 10000; ++i) ASSERT_NEAR(std::hypot(iq[2 * i], iq[2 * i + 1]), 32766, 1.0) << i;
    for (int i = 20000; i < 40000; ++i) ASSERT_EQ(iq[i], 0) << i;
}

// The pre-sized array follows the longer of the two times, so a sweep time
// far beyond the duration is generated in full without overrunning it.
TEST(RampSweepEntry, SweepTimeFarBeyondDuration) {
    const Handle h;
    const RampSweepParams p{100e3, 50e-3, 1e-3};
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateRampSweepWaveform(h.id, &p, &iq, &count, 1e6), 0);
    ASSERT_EQ(count, 100000);
    for (int i = 0; i < 50000; ++i) ASSERT_NEAR(std::hypot(iq[2 * i], iq[2 * i + 1]), 32766, 1.0) << i;
}

// Every rule of the record, refused by the generator (nothing written) and
// through the entry point with a reason that names the field.
struct Rejection {
    const char* what;
    RampSweepParams p;
    double rate;
    const char* reason;
};

class RampSweepRejection : public ::testing::TestWithParam<Rejection> {};
void PrintTo(const Rejection& c, std::ostream* os) { *os << c.what; }

TEST_P(RampSweepRejection, RefusedWithMinusOneAndAReason) {
    const auto& c = GetParam();
    const RampRun r = runRamp(c.p, c.rate, 64);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.n, -7);
    for (const C& x : r.s) ASSERT_EQ(x, kUntouched);
    const Handle h;
    expectRefusal([&](int16_t** iq, int* n) { return GenerateRampSweepWaveform(h.id, &c.p, iq, n, c.rate); }, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RampSweepRejection,
    ::testing::Values(
        Rejection{"RampUnderOneSample",
                  {1000, 0.5e-3, 1e-3},
                  1000,
                  "RampSweepParams.sweepTime = 0.0005: must span at least one sample at sampleRate = 1000"},
        Rejection{
            "ZeroBandwidth", {0, 1e-3, 1e-3}, 1e6, "RampSweepParams.sweepBandwidth = 0: must be finite and above 0"},
        Rejection{"NegativeBandwidth", {-1e3, 1e-3, 1e-3}, 1e6, "RampSweepParams.sweepBandwidth = -1000: must be"},
        Rejection{"NanBandwidth", {NAN, 1e-3, 1e-3}, 1e6, "RampSweepParams.sweepBandwidth = nan: must be"},
        Rejection{"InfiniteBandwidth", {INFINITY, 1e-3, 1e-3}, 1e6, "RampSweepParams.sweepBandwidth = inf: must be"},
        Rejection{"ZeroSweepTime", {1e3, 0, 1e-3}, 1e6, "RampSweepParams.sweepTime = 0: must be finite and above 0"},
        Rejection{"NanSweepTime", {1e3, NAN, 1e-3}, 1e6, "RampSweepParams.sweepTime = nan: must be finite"},
        Rejection{"InfiniteSweepTime", {1e3, INFINITY, 1e-3}, 1e6, "RampSweepParams.sweepTime = inf: must be finite"},
        Rejection{"ZeroDuration", {1e3, 1e-3, 0}, 1e6, "RampSweepParams.duration = 0: must be finite and above 0"},
        Rejection{"NanDuration", {1e3, 1e-3, NAN}, 1e6, "RampSweepParams.duration = nan: must be finite"},
        Rejection{"InfiniteDuration", {1e3, 1e-3, INFINITY}, 1e6, "RampSweepParams.duration = inf: must be finite"},
        Rejection{"ZeroRate", {1e3, 1e-3, 1e-3}, 0, "sampleRate = 0: must be finite and above 0"},
        Rejection{"NegativeRate", {1e3, 1e-3, 1e-3}, -1, "sampleRate = -1: must be finite and above 0"},
        Rejection{"NanRate", {1e3, 1e-3, 1e-3}, NAN, "sampleRate = nan: must be finite and above 0"},
        Rejection{"InfiniteRate", {1e3, 1e-3, 1e-3}, INFINITY, "sampleRate = inf: must be finite and above 0"},
        Rejection{"DurationOf2To30",
                  {1e3, 1e-3, 1.0},
                  1073741824.0,
                  "result of 1073741824 samples: must be finite and below 2^30"},
        Rejection{
            "SweepBeyond32Bits", {1e3, 5.0, 1e-3}, 1e9, "result of 5000000000 samples: must be finite and below 2^30"}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
