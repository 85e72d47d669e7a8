// Spread-spectrum generator: lengths, despreading, the cyclic seam, the
// resampling threshold, thread independence, refusals with their reasons and
// memory failures.
#include <gtest/gtest.h>
#include <omp.h>
#include <sys/resource.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "bitHelpers.h"
#include "genSignalClass.h"
#include "testSupport.h"
#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

using C = std::complex<float>;
using testing_support::expectRefusal;
using testing_support::Handle;
using testing_support::lastError;
using testing_support::sameBits;

DSSParams dss(int order, int sps, int filterType, int span = 6, double rolloff = 0.35, int seed = 1,
              double bitRate = 1000) {
    return DSSParams{bitRate, 1, order, span, sps, rolloff, seed, filterType};
}

// The chip-locked rate, formed as the generator forms it.
double chipLockedRate(const DSSParams& p) {
    return static_cast<double>(p.samplesPerChip) * p.bitRate * (std::pow(2.0, p.pnOrder) - 1);
}

struct Burst {
    int rc;
    std::vector<C> y;
};

Burst generate(const DSSParams& p, int bitCount, double rate) {
    GenSignalClass obj;
    C* s = nullptr;
    int n = -7;
    Burst r{obj.genDSSSig(&p, rate, bitCount, &s, &n), {}};
    if (r.rc == 0) r.y.assign(s, s + n);
    std::free(s);
    return r;
}

Burst generate(const DSSParams& p, int bitCount) { return generate(p, bitCount, chipLockedRate(p)); }

// The first outputs of the fixed order-9 data register.
const std::vector<int> kDataBits{0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1};

// Chips of a RECT burst at 2 samples per chip as 0/1: with taps [1, 1, 1],
// odd sample 2i + 1 is chip i + 1 alone (BPSK +1 for 0, -1 for 1, the latter
// with the float sine of pi as its imaginary part), and the last one is chip
// 0 again through the cyclic extension.
std::vector<int> chipsOf(DSSParams p, int bitCount) {
    p.filterType = RECT;
    p.samplesPerChip = 2;
    const Burst r = generate(p, bitCount);
    EXPECT_EQ(r.rc, 0);
    const int chips = static_cast<int>(r.y.size()) / 2;
    std::vector<int> c(chips);
    for (int i = 0; i < chips; ++i) {
        const C v = r.y[2 * i + 1];
        EXPECT_TRUE(std::fabs(v.real()) == 1 && std::fabs(v.imag()) < 1e-6) << i;
        c[(i + 1) % chips] = v.real() < 0 ? 1 : 0;
    }
    return c;
}

TEST(Dss, OrderFourTwoBitsRectLengthAndCount) {
    const DSSParams p = dss(4, 2, RECT);
    const Burst r = generate(p, 2, 30000);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.y.size(), 60u);

    Handle h;
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateDssWaveform(h.id, &p, 2, &iq, &count, 30000), 0);
    EXPECT_EQ(count, 120);
}

TEST(Dss, SeedGivesTheFirstCodeChip) {
    // Data bit 0 is 0, so chip 0 is the first code chip: the seed's top bit.
    EXPECT_EQ(chipsOf(dss(4, 2, RECT, 6, 0.35, 1), 2)[0], 1);  // start [0, 0, 0, 1]
    EXPECT_EQ(chipsOf(dss(4, 2, RECT, 6, 0.35, 8), 2)[0], 0);  // start [1, 0, 0, 0]
}

struct DespreadCase {
    int order, seed;
    std::vector<int> code;  // one period; empty: from the PN generator
};

class DssDespread : public ::testing::TestWithParam<DespreadCase> {};

TEST_P(DssDespread, CorrelatingWithTheCodeRecoversTheData) {
    const auto& c = GetParam();
    const int period = (1 << c.order) - 1;
    std::vector<int> code = c.code;
    if (code.empty()) {
        GenSignalClass obj;
        signed char* start = nullptr;
        dec2bin(c.seed, c.order, &start);
        std::vector<signed char> out(period);
        obj.func_PN_gen(c.order, start, out.data(), period);
        delete[] start;
        code.assign(out.begin(), out.end());
    }
    ASSERT_EQ(static_cast<int>(code.size()), period);

    const int bits = static_cast<int>(kDataBits.size());
    const std::vector<int> chips = chipsOf(dss(c.order, 2, RECT, 6, 0.35, c.seed), bits);
    ASSERT_EQ(static_cast<int>(chips.size()), bits * period);
    for (int b = 0; b < bits; ++b) {
        int corr = 0;
        for (int j = 0; j < period; ++j) corr += (1 - 2 * chips[b * period + j]) * (1 - 2 * code[j]);
        EXPECT_EQ(std::abs(corr), period) << "bit " << b;  // every bit meets one whole, aligned period
        EXPECT_EQ(corr < 0 ? 1 : 0, kDataBits[b]) << "bit " << b;
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, DssDespread,
                         ::testing::Values(DespreadCase{4, 8, {0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1}},
                                           DespreadCase{5, 1, {}}, DespreadCase{7, 0x55, {}}),
                         [](const auto& info) { return "order" + std::to_string(info.param.order); });

struct LengthCase {
    const char* name;
    int type, span, sps;
    double rolloff;
    int expected;  // 3 bits at order 4: 45 chips
};

class DssLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(DssLength, ShapedLengthPerFilterType) {
    const auto& c = GetParam();
    const Burst r = generate(dss(4, c.sps, c.type, c.span, c.rolloff), 3);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(static_cast<int>(r.y.size()), c.expected);
    for (const C& v : r.y) ASSERT_TRUE(std::isfinite(v.real()) && std::isfinite(v.imag()));
}

INSTANTIATE_TEST_SUITE_P(
    Types, DssLength,
    ::testing::Values(
        LengthCase{"RectOdd", RECT, 6, 3, 0.35, 135}, LengthCase{"RectEven", RECT, 6, 4, 0.35, 180},
        LengthCase{"RectIgnoresSpanAndRolloff", RECT, -5, 3, NAN, 135},
        LengthCase{"HalfSineOdd", HALF_SINE, 6, 1, 0.35, 45}, LengthCase{"HalfSineEven", HALF_SINE, 0, 2, 0.35, 90},
        LengthCase{"RcosOdd", RCOS, 3, 3, 0.35, 136}, LengthCase{"RcosEven", RCOS, 6, 4, 0.5, 180},
        LengthCase{"RcosZeroRolloff", RCOS, 4, 3, 0.0, 135}, LengthCase{"RcosZeroSpan", RCOS, 0, 3, 0.35, 135},
        LengthCase{"RrcosOdd", RRCOS, 5, 1, 0.25, 46}, LengthCase{"RrcosEven", RRCOS, 6, 4, 0.35, 180},
        LengthCase{"RrcosSpanEqualsChips", RRCOS, 45, 2, 0.35, 90}, LengthCase{"GaussianOdd", GAUSSIAN, 3, 3, 0.5, 135},
        LengthCase{"GaussianEven", GAUSSIAN, 4, 2, 0.3, 90}),
    [](const auto& info) { return std::string(info.param.name); });

class DssSeam : public ::testing::TestWithParam<LengthCase> {};

// Without resampling the burst is one period of the chip train filtered
// cyclically, so it can be looped end to end.
TEST_P(DssSeam, BurstIsOnePeriodOfTheCyclicFiltering) {
    const auto& c = GetParam();
    const DSSParams p = dss(5, c.sps, c.type, c.span, c.rolloff, 0x13);
    const int bits = 2;
    const Burst r = generate(p, bits);
    ASSERT_EQ(r.rc, 0);
    const std::vector<int> chips = chipsOf(p, bits);
    const int period = static_cast<int>(chips.size()) * c.sps;

    GenSignalClass obj;
    const int span = (c.type == RECT || c.type == HALF_SINE) ? 1 : c.span;
    std::vector<float> h(span * c.sps + 100);
    int m = 0, err = 0;
    obj.getFilter(static_cast<FilterType>(c.type), static_cast<float>(c.rolloff), span, c.sps, h.data(), &m, &err);
    ASSERT_EQ(err, 0);
    ASSERT_EQ(static_cast<int>(r.y.size()), period + span * c.sps - m + 1);

    for (int i = 0; i < static_cast<int>(r.y.size()); ++i) {
        double re = 0;
        for (int k = 0; k < m; ++k) {
            const int j = (i + k) % period;
            if (j % c.sps == 0) re += h[k] * (chips[j / c.sps] ? -1.0 : 1.0);
        }
        ASSERT_NEAR(r.y[i].real(), re, 1e-5) << i;
        ASSERT_NEAR(r.y[i].imag(), 0.0, 1e-5) << i;
    }
    // An odd raised-cosine length carries one sample more: the first again.
    if (static_cast<int>(r.y.size()) == period + 1) {
        EXPECT_EQ(r.y.back(), r.y.front());
    }
}

INSTANTIATE_TEST_SUITE_P(Types, DssSeam,
                         ::testing::Values(LengthCase{"Rect", RECT, 0, 3, 0, 0},
                                           LengthCase{"HalfSine", HALF_SINE, 0, 4, 0, 0},
                                           LengthCase{"RcosOdd", RCOS, 3, 3, 0.35, 0},
                                           LengthCase{"RrcosEven", RRCOS, 6, 4, 0.35, 0},
                                           LengthCase{"Gaussian", GAUSSIAN, 3, 2, 0.5, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Dss, RolloffIsUsedInSinglePrecision) {
    for (int type : {RCOS, RRCOS, GAUSSIAN}) {
        const Burst exact = generate(dss(4, 4, type, 4, 0.35), 2);
        const Burst rounded = generate(dss(4, 4, type, 4, static_cast<float>(0.35)), 2);
        const Burst nextFloat = generate(dss(4, 4, type, 4, std::nextafter(0.35f, 1.0f)), 2);
        ASSERT_EQ(exact.rc, 0);
        EXPECT_TRUE(sameBits(exact.y, rounded.y)) << type;
        EXPECT_FALSE(sameBits(exact.y, nextFloat.y)) << type;
    }
}

TEST(Dss, ResamplingThreshold) {
    // A small chip-locked rate makes 1e-9 a visible fraction of it.
    const DSSParams p = dss(4, 2, RECT, 6, 0.35, 1, 1e-3);
    const double rate = chipLockedRate(p);
    const Burst base = generate(p, 2, rate);
    ASSERT_EQ(base.rc, 0);
    ASSERT_EQ(base.y.size(), 60u);

    for (double d : {0.5e-9, -0.5e-9}) {
        const Burst r = generate(p, 2, rate + d);
        ASSERT_EQ(r.rc, 0);
        EXPECT_TRUE(sameBits(r.y, base.y)) << d;
    }
    GenSignalClass obj;
    for (double d : {2e-9, -2e-9, 0.37 * rate}) {
        const Burst r = generate(p, 2, rate + d);
        ASSERT_EQ(r.rc, 0);
        std::vector<C> expected(200);
        int k = 0;
        obj.FarrowInterp(base.y.data(), 60, rate + d, rate, expected.data(), &k);
        expected.resize(k);
        EXPECT_TRUE(sameBits(r.y, expected)) << d;
        EXPECT_FALSE(sameBits(r.y, base.y)) << d;
    }
    EXPECT_EQ(generate(p, 2, rate + 2e-9).y.size(), 61u);
}

TEST(Dss, SameResultWithAnyThreadCount) {
    const int saved = omp_get_max_threads();
    for (const DSSParams& p : {dss(5, 4, RRCOS, 6, 0.35, 9), dss(6, 3, GAUSSIAN, 3, 0.5, 33)}) {
        for (double rate : {chipLockedRate(p), 1.3 * chipLockedRate(p)}) {
            omp_set_num_threads(1);
            const Burst one = generate(p, 9, rate);
            ASSERT_EQ(one.rc, 0);
            for (int t : {2, 3}) {
                omp_set_num_threads(t);
                EXPECT_TRUE(sameBits(generate(p, 9, rate).y, one.y)) << t << " threads";
            }
        }
    }
    omp_set_num_threads(saved);
}

// One row per refusal: every field spelled out, the offending one differs
// from the accepted base {1, 4, 2, 2, 0.35, RRCOS, 1000} with 2 bits.
struct Rejection {
    const char* name;
    int modType, order, span, sps;
    double rolloff;
    int type;
    double bitRate;
    int bitCount;
    double rate;
    const char* reason;  // what the refusal's message must contain
};

void PrintTo(const Rejection& r, std::ostream* os) { *os << r.name; }

constexpr double kChipLocked = -1.0;  // stands for the chip-locked rate
constexpr int kMaxInt = std::numeric_limits<int>::max();
constexpr double kInf = std::numeric_limits<double>::infinity();

class DssRejection : public ::testing::TestWithParam<Rejection> {};

TEST_P(DssRejection, RefusedBeforeAnyWorkWithAReason) {
    const auto& c = GetParam();
    const DSSParams p{c.bitRate, c.modType, c.order, c.span, c.sps, c.rolloff, 1, c.type};
    const double rate = c.rate == kChipLocked ? chipLockedRate(p) : c.rate;
    GenSignalClass obj;
    C* s = nullptr;
    int n = -7;
    EXPECT_EQ(obj.genDSSSig(&p, rate, c.bitCount, &s, &n), -1);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(n, -7);

    Handle h;
    expectRefusal([&](int16_t** iq, int* count) { return GenerateDssWaveform(h.id, &p, c.bitCount, iq, count, rate); },
                  c.reason);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, DssRejection,
    ::testing::Values(
        //        name                          mod ord span sps  rolloff  type      bitRate  bits  rate  reason
        Rejection{"Qpsk",                         3,  4,  2,   2, 0.35,    RRCOS,    1000,    2,    kChipLocked, "DSSParams.modType = 3: must be 1 (BPSK)"},
        Rejection{"QpskWithOtherBadFields",       3, 40, -2,   0, NAN,     9,        -1,      0,    -30000, "DSSParams.modType = 3: must be 1 (BPSK)"},
        Rejection{"ModType0",                     0,  4,  2,   2, 0.35,    RRCOS,    1000,    2,    kChipLocked, "DSSParams.modType = 0: must be 1 (BPSK)"},
        Rejection{"Dbpsk",                        2,  4,  2,   2, 0.35,    RRCOS,    1000,    2,    kChipLocked, "DSSParams.modType = 2: must be 1 (BPSK)"},
        Rejection{"BitCount0",                    1,  4,  2,   2, 0.35,    RRCOS,    1000,    0,    kChipLocked, "bitCount = 0: must be at least 1"},
        Rejection{"BitCountNegative",             1,  4,  2,   2, 0.35,    RRCOS,    1000,    -3,   kChipLocked, "bitCount = -3: must be at least 1"},
        Rejection{"Sps0",                         1,  4,  2,   0, 0.35,    RRCOS,    1000,    2,    30000, "DSSParams.samplesPerChip = 0: must be at least 1"},
        Rejection{"SpsNegative",                  1,  4,  2,  -2, 0.35,    RRCOS,    1000,    2,    30000, "DSSParams.samplesPerChip = -2: must be at least 1"},
        Rejection{"SpanNegative",                 1,  4, -1,   2, 0.35,    RRCOS,    1000,    2,    kChipLocked, "DSSParams.filterSpan = -1: must be at least 0"},
        Rejection{"SpanAboveChips",               1,  4, 16,   2, 0.35,    RRCOS,    1000,    1,    kChipLocked, "DSSParams.filterSpan = 16 is above the 15 chips of the burst"},
        Rejection{"BitRate0",                     1,  4,  2,   2, 0.35,    RRCOS,    0,       2,    30000, "DSSParams.bitRate = 0: must be finite and above 0"},
        Rejection{"BitRateNegative",              1,  4,  2,   2, 0.35,    RRCOS,    -1000,   2,    30000, "DSSParams.bitRate = -1000: must be finite and above 0"},
        Rejection{"BitRateNan",                   1,  4,  2,   2, 0.35,    RRCOS,    NAN,     2,    30000, "DSSParams.bitRate = nan: must be finite and above 0"},
        Rejection{"BitRateInfinite",              1,  4,  2,   2, 0.35,    RRCOS,    kInf,    2,    30000, "DSSParams.bitRate = inf: must be finite and above 0"},
        Rejection{"ChipRateOverflows",            1,  4,  2,   2, 0.35,    RRCOS,    1e308,   2,    30000, "DSSParams.bitRate = 1e+308: times 2 samples per chip and 15 chips per bit must stay finite"},
        Rejection{"Rate0",                        1,  4,  2,   2, 0.35,    RRCOS,    1000,    2,    0, "sampleRate = 0: must be finite and above 0"},
        Rejection{"RateNegative",                 1,  4,  2,   2, 0.35,    RRCOS,    1000,    2,    -30000, "sampleRate = -30000: must be finite and above 0"},
        Rejection{"RateNan",                      1,  4,  2,   2, 0.35,    RRCOS,    1000,    2,    NAN, "sampleRate = nan: must be finite and above 0"},
        Rejection{"RateInfinite",                 1,  4,  2,   2, 0.35,    RRCOS,    1000,    2,    kInf, "sampleRate = inf: must be finite and above 0"},
        Rejection{"Order3",                       1,  3,  2,   2, 0.35,    RRCOS,    1000,    2,    30000, "DSSParams.pnOrder = 3: must be 4 to 32"},
        Rejection{"Order33",                      1, 33,  2,   2, 0.35,    RRCOS,    1000,    2,    30000, "DSSParams.pnOrder = 33: must be 4 to 32"},
        Rejection{"OrderNegative",                1, -4,  2,   2, 0.35,    RRCOS,    1000,    2,    30000, "DSSParams.pnOrder = -4: must be 4 to 32"},
        Rejection{"Order31OneBit",                1, 31,  2,   2, 0.35,    RRCOS,    1000,    1,    kChipLocked, "DSSParams.pnOrder = 31: its 2147483647 chips per bit must stay below 2^30"},
        Rejection{"Order32OneBit",                1, 32,  2,   2, 0.35,    RRCOS,    1000,    1,    kChipLocked, "DSSParams.pnOrder = 32: its 4294967295 chips per bit must stay below 2^30"},
        Rejection{"ChipCountOverflows",           1,  4,  2,   2, 0.35,    RRCOS,    1000,    kMaxInt, kChipLocked, "bitCount = 2147483647: its 32212254705 chips must stay below 2^30"},
        Rejection{"ChipCountReaches2To30",        1, 16,  2,   2, 0.35,    RRCOS,    1000,    16385, kChipLocked, "bitCount = 16385: its 1073790975 chips must stay below 2^30"},
        Rejection{"SampleCountReaches2To30",      1, 30,  2,   1, 0.35,    RECT,     1000,    1,    kChipLocked, "bitCount = 1: its chip-rate signal of 1073741824 samples must stay below 2^30"},
        Rejection{"SampleCountOverflows",         1, 20,  2, 4096, 0.35,   RRCOS,    1000,    1,    kChipLocked, "bitCount = 1: its chip-rate signal of 4294971392 samples must stay below 2^30"},
        Rejection{"ResampledCountReaches2To30",   1,  4,  2,   2, 0.35,    RRCOS,    1000,    2,    30000.0 * 1.1 * (1 << 24), "the resampled signal would reach 2^30 samples"},
        Rejection{"ResampledCountOverflows",      1,  4,  2,   2, 0.35,    RRCOS,    1000,    2,    30000.0 * (1 << 26), "the resampled signal would reach 2^30 samples"},
        Rejection{"ResampledCountNotFinite",      1,  4,  2,   2, 0.35,    RRCOS,    1e-300,  2,    1e300, "sampleRate = 1e+300: the resampled signal would reach 2^30 samples"},
        Rejection{"FilterType0",                  1,  4,  2,   2, 0.35,    0,        1000,    2,    kChipLocked, "DSSParams.filterType = 0: must be 1 (RECT), 2 (RCOS), 3 (RRCOS), 4 (GAUSSIAN) or 5 (HALF_SINE)"},
        Rejection{"FilterType6",                  1,  4,  2,   2, 0.35,    6,        1000,    2,    kChipLocked, "DSSParams.filterType = 6: must be 1 (RECT)"},
        Rejection{"RcosRolloffNan",               1,  4,  2,   2, NAN,     RCOS,     1000,    2,    kChipLocked, "DSSParams.rolloff = nan: must round to a finite float"},
        Rejection{"RrcosRolloffInfinite",         1,  4,  2,   2, kInf,    RRCOS,    1000,    2,    kChipLocked, "DSSParams.rolloff = inf: must round to a finite float"},
        Rejection{"RrcosRolloffBeyondFloat",      1,  4,  2,   2, 1e39,    RRCOS,    1000,    2,    kChipLocked, "DSSParams.rolloff = 1e+39: must round to a finite float"},
        Rejection{"RrcosRolloff0",                1,  4,  2,   2, 0,       RRCOS,    1000,    2,    kChipLocked, "DSSParams.rolloff = 0: must round to a float above 0 for RRCOS"},
        Rejection{"RrcosRolloffRoundsTo0",        1,  4,  2,   2, 1e-50,   RRCOS,    1000,    2,    kChipLocked, "DSSParams.rolloff = 1e-50: must round to a float above 0 for RRCOS"},
        Rejection{"RrcosRolloffNegative",         1,  4,  2,   2, -0.35,   RRCOS,    1000,    2,    kChipLocked, "DSSParams.rolloff = -0.35: must round to a float above 0 for RRCOS"},
        Rejection{"GaussianBt0",                  1,  4,  2,   2, 0,       GAUSSIAN, 1000,    2,    kChipLocked, "DSSParams.rolloff = 0: must round to a float above 0 for GAUSSIAN"},
        Rejection{"GaussianBtNegative",           1,  4,  2,   2, -1,      GAUSSIAN, 1000,    2,    kChipLocked, "DSSParams.rolloff = -1: must round to a float above 0 for GAUSSIAN"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(Dss, NullPointersAreRefused) {
    GenSignalClass obj;
    const DSSParams p = dss(4, 2, RECT);
    C* s = nullptr;
    int n = 0;
    EXPECT_EQ(obj.genDSSSig(nullptr, 60000, 2, &s, &n), -1);
    EXPECT_EQ(lastError(), "genDSSSig: params is a null pointer");
    EXPECT_EQ(obj.genDSSSig(&p, 60000, 2, nullptr, &n), -1);
    EXPECT_EQ(lastError(), "genDSSSig: samples is a null pointer");
    EXPECT_EQ(obj.genDSSSig(&p, 60000, 2, &s, nullptr), -1);
    EXPECT_EQ(lastError(), "genDSSSig: sampleCount is a null pointer");
    EXPECT_EQ(s, nullptr);
}

// Memory failures, each in a child process (re-executed, so the OpenMP pool
// starts fresh) whose allocations are capped at 256 MiB: ASan's allocation
// limit under the sanitizer, the address-space limit otherwise. The child
// exits with the negated result, or 100 + it when the message does not say
// what could not be had; under ASan a leak on the way out would turn it into
// the leak checker's exit code.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAsan = true;
#else
constexpr bool kAsan = false;
#endif
constexpr long kCapBytes = 256L << 20;

[[noreturn]] void generateUnderCap(const DSSParams& p, int bitCount, double rate, const char* reason) {
    if (!kAsan) {
        long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const rlim_t cap = static_cast<rlim_t>(pages) * 4096 + kCapBytes;
        const rlimit lim{cap, cap};
        if (pages == 0 || setrlimit(RLIMIT_AS, &lim) != 0) std::exit(100);
    }
    GenSignalClass obj;
    C* s = nullptr;
    int n = 0;
    const int rc = obj.genDSSSig(&p, rate, bitCount, &s, &n);
    std::free(s);
    const std::string message = lastError();
    std::fprintf(stderr, "message \"%s\"\n", message.c_str());
    std::exit(message.find(reason) == 0 ? -rc : 100 - rc);
}

struct MemoryCase {
    const char* name;
    DSSParams p;
    int bitCount;
    double rate;
    const char* reason;
};

void PrintTo(const MemoryCase& c, std::ostream* os) { *os << c.name; }

class DssMemory : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(DssMemory, AllocationFailureGivesMinus3AndSaysWhat) {
    const auto& c = GetParam();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* old = std::getenv("ASAN_OPTIONS");
    const std::string saved = old ? old : "";
    setenv("ASAN_OPTIONS", (saved + ":allocator_may_return_null=1:max_allocation_size_mb=256").c_str(), 1);
    EXPECT_EXIT(generateUnderCap(c.p, c.bitCount, c.rate != 0 ? c.rate : chipLockedRate(c.p), c.reason),
                ::testing::ExitedWithCode(3), "");
    if (old)
        setenv("ASAN_OPTIONS", saved.c_str(), 1);
    else
        unsetenv("ASAN_OPTIONS");
}

INSTANTIATE_TEST_SUITE_P(
    Stages, DssMemory,
    ::testing::Values(
        // 300 MB of chips.
        MemoryCase{"Chips", dss(20, 1, RECT), 300, 0, "out of memory: 314572501 bytes for the chips"},
        // 42 MB of chips fit, 335 MB of points do not.
        MemoryCase{"ChipPoints", dss(20, 1, RECT), 40, 0, "out of memory: 335544008 bytes for the chip points"},
        // 67 MB of points, then 536 MB shaped.
        MemoryCase{"ShapedSamples", dss(16, 8, RECT), 128, 0, "out of memory: 536862720 bytes for the shaped signal"},
        MemoryCase{"ResampledSamples", dss(4, 2, RECT), 2, 30000.0 * (1 << 20),
                   "out of memory: 503316480 bytes for the resampled signal"}),
    [](const auto& info) { return std::string(info.param.name); });

// wavegen writes the library's buffer; the filter type goes by name or number.
class WavegenDss : public WavegenRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(WavegenDss, WritesTheLibraryBuffer) {
    std::string output;
    ASSERT_EQ(run(std::string("dss --pn-order 4 --bit-count 2 --samples-per-chip 2 --bit-rate 1000 --pn-seed 1"
                              " --sample-rate 30000 -o d --filter-type ") +
                      GetParam(),
                  output),
              0)
        << output;

    const DSSParams p = dss(4, 2, RECT);
    const auto lib =
        libraryIq([&](int h, int16_t** iq, int* count) { return GenerateDssWaveform(h, &p, 2, iq, count, 30000); });
    ASSERT_EQ(lib.rc, 0);
    EXPECT_TRUE(sameSamples(readFile("d.sigmf-data"), lib.iq));
    const std::string text = readText("d.sigmf-meta");
    EXPECT_NE(text.find("\"gensignal:bitCount\": 2"), std::string::npos) << text;
    EXPECT_NE(text.find("\"gensignal:filterType\": \"rect\""), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(FilterType, WavegenDss, ::testing::Values("rect", "1"));

}  // namespace
