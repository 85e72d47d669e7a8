// FSK modulator: levels, guards, balance walk, tap normalisation, phase
// integration and refusals with their reasons.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "genSignalClass.h"
#include "testSupport.h"

namespace {

using C = std::complex<float>;
using testing_support::lastError;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct FskArgs {
    std::vector<short> symbols;  // with room for one more when odd
    int n;
    int M = 2;
    double deviation = 1000;
    int sps = 4;
    double symbolRate = 1000;
    std::vector<float> taps = {1, 1, 1, 1, 1};
    int guard = 1;
    double sampleRate = 4000;
};

struct FskResult {
    int rc;
    std::vector<short> levels;  // the symbol array afterwards
    std::vector<float> taps;    // the taps afterwards
    std::vector<C> y;
    int K;
    bool outTouched;
};

FskResult runFsk(FskArgs a) {
    GenSignalClass obj;
    C* const sentinel = reinterpret_cast<C*>(&a);
    C* out = sentinel;
    int K = -7;
    FskResult r;
    r.rc = obj.DigitalModFSK(a.symbols.data(), a.n, a.M, a.deviation, a.sps, a.symbolRate, a.taps.data(),
                             static_cast<int>(a.taps.size()), a.guard, a.sampleRate, &out, &K);
    r.levels = a.symbols;
    r.taps = a.taps;
    r.K = K;
    r.outTouched = out != sentinel || K != -7;
    if (r.rc == 0 && out != sentinel) {
        r.y.assign(out, out + K);
        std::free(out);
    }
    return r;
}

TEST(Fsk, GuardsReplaceBothEndsAndABalancedBurstStaysAsItIs) {
    FskArgs a;
    a.symbols = {0, 1, 1, 1, 0, 1};
    a.n = 6;
    const FskResult r = runFsk(a);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.levels, (std::vector<short>{-1, 1, 1, 1, -1, -1}));
}

TEST(Fsk, OddCountAppendsALevelThatTheTrailingGuardOverwrites) {
    FskArgs a;
    a.symbols = {0, 1, 1, 1, 0, 111, 222};  // room for the sixth; the seventh must stay
    a.n = 5;
    const FskResult r = runFsk(a);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.levels, (std::vector<short>{-1, 1, 1, 1, -1, -1, 222}));
    // Six symbols of 4 samples, five taps: 6*4 - 5 + 1 samples, rates equal.
    EXPECT_EQ(r.K, 20);
}

TEST(Fsk, BalanceWalkMovesTheFirstLevelOfTheSumsSign) {
    FskArgs a;
    a.symbols = {0, 1, 1, 1, 1, 0};  // levels -1 +1 +1 +1 +1 -1 after the guards: H = 1
    a.n = 6;
    const FskResult r = runFsk(a);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.levels, (std::vector<short>{-1, -1, 1, 1, 1, -1}));
}

TEST(Fsk, BalanceWalkWrapsAndChangesALevelAgain) {
    // M = 4, G = 1: the walk covers indices G ... n - G - 2.
    FskArgs a;
    a.M = 4;
    a.symbols = {0, 3, 3, 3, 3, 0, 0, 0};
    a.n = 8;
    // levels: -1 3 3 3 3 -3 -3 -1 after guards -> sum 4, H = 2, sigma +1.
    const FskResult r = runFsk(a);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.levels, (std::vector<short>{-1, 1, 1, 3, 3, -3, -3, -1}));
    EXPECT_EQ(std::accumulate(r.levels.begin(), r.levels.end(), 0), 0);

    // Only index 1 is in range (n = 4, G = 1): +3 must step to +1 and -1.
    a.symbols = {0, 3, 3, 0};
    a.n = 4;
    // levels -1 3 3 -1: sum 4, H = 2; index 1 goes 3 -> 1 -> -1.
    const FskResult wrap = runFsk(a);
    ASSERT_EQ(wrap.rc, 0);
    EXPECT_EQ(wrap.levels, (std::vector<short>{-1, -1, 3, -1}));
}

TEST(Fsk, LevelsStandForTheirFrequencies) {
    // M = 4, deviation 3000 Hz: levels -3 -1 +1 +3 are -3000 ... +3000 Hz.
    // With one tap and equal rates each symbol start adds level/3 * 3000 Hz
    // over one symbol of 1/12000 s to the phase: level * 30 degrees.
    FskArgs a;
    a.M = 4;
    a.deviation = 3000;
    a.symbolRate = 12000;
    a.sps = 8;
    a.sampleRate = 96000;
    a.taps = {0.25f};
    a.guard = 1;
    a.symbols = {2, 0, 3, 1, 3, 0, 2, 1, 0, 2};
    a.n = 10;
    const FskResult r = runFsk(a);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.K, 80);
    const double degree = 3.141592653589793 / 180;
    // Levels 1 -3 3 -1 3 -3 1 -1 -3 1, guards -1 at both ends (sum -6),
    // then indices 1, 3 and 5 step up by two.
    EXPECT_EQ(r.levels, (std::vector<short>{-1, -1, 3, 1, 3, -1, 1, -1, -3, -1}));
    double expected = -30 * degree;  // the leading guard, level -1, at sample 0
    EXPECT_NEAR(std::arg(r.y[0]), expected, 1e-5);
    for (int j = 1; j < a.n; ++j) {
        // Between symbol starts the frequency is zero: the phase holds.
        EXPECT_EQ(r.y[8 * j - 1], r.y[8 * (j - 1)]);
        const double step = std::arg(r.y[8 * j] * std::conj(r.y[8 * (j - 1)]));
        EXPECT_NEAR(step, r.levels[j] * 30 * degree, 1e-5) << j;
    }
    for (const C& v : r.y) EXPECT_NEAR(std::abs(v), 1.0, 1e-6);
}

TEST(Fsk, TapsAreNormalisedToSumToSamplesPerSymbol) {
    FskArgs a;
    a.symbols = {0, 1, 0, 1, 1, 0};
    a.n = 6;
    a.sps = 3;
    a.sampleRate = 3000;
    a.taps = {2, 2, 4};
    FskResult r = runFsk(a);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.taps, (std::vector<float>{0.75f, 0.75f, 1.5f}));

    // A zero sum leaves the scale at 1: each tap is multiplied by sps.
    a.taps = {1, -1};
    r = runFsk(a);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.taps, (std::vector<float>{3, -3}));
}

TEST(Fsk, ResamplesEvenAtEqualRatesAndOtherwiseToTheOutputRate) {
    FskArgs a;
    a.symbols = {0, 1, 1, 0, 1, 0, 0, 1};
    a.n = 8;
    const FskResult same = runFsk(a);
    ASSERT_EQ(same.rc, 0);
    EXPECT_EQ(same.K, 8 * 4 - 5 + 1);
    a.sampleRate = 8000;  // twice the internal rate
    const FskResult twice = runFsk(a);
    ASSERT_EQ(twice.rc, 0);
    EXPECT_EQ(twice.K, 2 * same.K);
    for (const C& v : twice.y) EXPECT_NEAR(std::abs(v), 1.0, 1e-6);
}

TEST(Fsk, MoreTapsThanTrainSamplesHandsOverAnEmptyArray) {
    FskArgs a;
    a.symbols = {0, 1, 1, 0};
    a.n = 4;
    a.sps = 1;
    a.sampleRate = 1000;
    a.taps.assign(10, 1.0f);
    const FskResult r = runFsk(a);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.K, 0);
    EXPECT_TRUE(r.outTouched);
}

struct FskRejection {
    const char* name;
    std::vector<short> symbols;
    int n, M, sps, tapCount, guard;
    double symbolRate, sampleRate;
    const char* reason;
};

void PrintTo(const FskRejection& r, std::ostream* os) { *os << r.name; }

class FskRejects : public ::testing::TestWithParam<FskRejection> {};

TEST_P(FskRejects, WithMinusOneAReasonAndNothingWritten) {
    const auto& c = GetParam();
    FskArgs a;
    a.symbols = c.symbols;
    a.n = c.n;
    a.M = c.M;
    a.sps = c.sps;
    a.taps.assign(static_cast<size_t>(std::max(c.tapCount, 1)), 1.0f);
    a.guard = c.guard;
    a.symbolRate = c.symbolRate;
    a.sampleRate = c.sampleRate;
    GenSignalClass obj;
    C* out = nullptr;
    int K = -7;
    std::vector<short> symbols = a.symbols;
    std::vector<float> taps = a.taps;
    EXPECT_EQ(obj.DigitalModFSK(symbols.data(), a.n, a.M, a.deviation, a.sps, a.symbolRate, taps.data(), c.tapCount,
                                a.guard, a.sampleRate, &out, &K),
              -1);
    EXPECT_EQ(lastError(), c.reason);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(K, -7);
    EXPECT_EQ(taps, a.taps);
    EXPECT_EQ(symbols, a.symbols);
}

const std::vector<short> kSix = {0, 1, 1, 0, 1, 0};

INSTANTIATE_TEST_SUITE_P(
    Cases, FskRejects,
    ::testing::Values(
        FskRejection{"NoSymbols", kSix, 0, 2, 4, 5, 1, 1000, 4000, "n = 0: must be at least 1"},
        FskRejection{"AlphabetOfOne", kSix, 6, 1, 4, 5, 1, 1000, 4000, "M = 1: must be 2 to 32768"},
        FskRejection{"LevelsBeyondShort", kSix, 6, 65536, 4, 5, 1, 1000, 4000, "M = 65536: must be 2 to 32768"},
        FskRejection{"NoSamplesPerSymbol", kSix, 6, 2, 0, 5, 1, 1000, 4000, "sps = 0: must be at least 1"},
        FskRejection{"NoTaps", kSix, 6, 2, 4, 0, 1, 1000, 4000, "tapCount = 0: must be at least 1"},
        FskRejection{"NoGuard", kSix, 6, 2, 4, 5, 0, 1000, 4000, "guard = 0: must be at least 1"},
        FskRejection{"ZeroSampleRate", kSix, 6, 2, 4, 5, 1, 1000, 0, "sampleRate = 0: must be finite and above 0"},
        FskRejection{"NanSampleRate", kSix, 6, 2, 4, 5, 1, 1000, kNaN, "sampleRate = nan: must be finite and above 0"},
        FskRejection{"InfiniteSampleRate", kSix, 6, 2, 4, 5, 1, 1000, kInf,
                     "sampleRate = inf: must be finite and above 0"},
        FskRejection{"ZeroSymbolRate", kSix, 6, 2, 4, 5, 1, 0, 4000, "symbolRate = 0: must be finite and above 0"},
        FskRejection{"NanSymbolRate", kSix, 6, 2, 4, 5, 1, kNaN, 4000, "symbolRate = nan: must be finite and above 0"},
        FskRejection{"SymbolLockedRateOverflows", kSix, 6, 2, 4, 5, 1, 1e308, 4000,
                     "symbolRate = 1e+308: times sps 4 must stay finite"},
        // The walk needs 2G + 2 symbols after the even-count step.
        FskRejection{"GuardsLeaveNoMiddle", kSix, 6, 2, 4, 5, 3, 1000, 4000,
                     "n = 6 leaves no symbol between the guards of 3 symbols"},
        FskRejection{"OddCountStillTooShort",
                     {0, 1, 1, 0, 0},
                     3,
                     2,
                     4,
                     5,
                     2,
                     1000,
                     4000,
                     "n = 3 leaves no symbol between the guards of 2 symbols"},
        FskRejection{"TrainBeyondLimit", kSix, 6, 2, 1 << 28, 5, 1, 1000, 4000,
                     "n = 6: its impulse train of 1610612736 samples must stay below 2^30"},
        FskRejection{"ResampledBeyondLimit", kSix, 6, 2, 1 << 20, 5, 1, 1, 1e9,
                     "sampleRate = 1000000000: the resampled signal would reach 2^30 samples"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Fsk, NullPointersAreNamed) {
    GenSignalClass obj;
    short symbols[6] = {0, 1, 1, 0, 1, 0};
    float taps[5] = {1, 1, 1, 1, 1};
    C* out = nullptr;
    int K = -7;
    EXPECT_EQ(obj.DigitalModFSK(nullptr, 6, 2, 1000, 4, 1000, taps, 5, 1, 4000, &out, &K), -1);
    EXPECT_EQ(lastError(), "DigitalModFSK: symbols is a null pointer");
    EXPECT_EQ(obj.DigitalModFSK(symbols, 6, 2, 1000, 4, 1000, nullptr, 5, 1, 4000, &out, &K), -1);
    EXPECT_EQ(lastError(), "DigitalModFSK: taps is a null pointer");
    EXPECT_EQ(obj.DigitalModFSK(symbols, 6, 2, 1000, 4, 1000, taps, 5, 1, 4000, nullptr, &K), -1);
    EXPECT_EQ(lastError(), "DigitalModFSK: out is a null pointer");
    EXPECT_EQ(obj.DigitalModFSK(symbols, 6, 2, 1000, 4, 1000, taps, 5, 1, 4000, &out, nullptr), -1);
    EXPECT_EQ(lastError(), "DigitalModFSK: outLen is a null pointer");
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(K, -7);
}

TEST(Fsk, AnImbalanceTheMiddleCannotAbsorbIsRefusedInsteadOfLoopingForever) {
    // n = 4, G = 1: only index 1 may change. Levels -1 -1 -1 -1 sum to -4,
    // but index 1 can take one step (-1 -> +1) and then none.
    FskArgs a;
    a.symbols = {0, 0, 0, 0};
    a.n = 4;
    FskResult r = runFsk(a);
    EXPECT_EQ(r.rc, -1);
    EXPECT_FALSE(r.outTouched);
    EXPECT_EQ(lastError(), "DigitalModFSK: the levels need 2 balancing steps, the symbols between the guards allow 1");

    // M = 16: index 1 can move +15 down to -1 in eight steps, but the last
    // symbol before the guard (+15, never changed) keeps the sum positive.
    a.M = 16;
    a.symbols = {0, 15, 15, 0};
    r = runFsk(a);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(lastError(), "DigitalModFSK: the levels need 14 balancing steps, the symbols between the guards allow 8");

    // One more symbol of room is enough for the first case.
    a.M = 2;
    a.symbols = {0, 0, 1, 0, 0, 0};
    a.n = 6;  // -1 -1 +1 -1 -1 -1 after guards: H = -2, indices 1 ... 3
    r = runFsk(a);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.levels, (std::vector<short>{-1, 1, 1, 1, -1, -1}));
}

}  // namespace
