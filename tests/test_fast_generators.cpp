// The faster generators against their literal twins (literalGenerators.h),
// bit for bit, on many random records and on the edge lengths, for 1, 2 and
// 3 OpenMP threads and for each kernel variant.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "cpuDispatch.h"
#include "gaussianNoise.h"
#include "genSignalClass.h"
#include "literalGenerators.h"
#include "modulatingWave.h"
#include "noiseReference.h"
#include "sampleConversion.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::Handle;
using testing_support::sameBits;
using C = std::complex<float>;

class FastTwin : public ::testing::TestWithParam<std::tuple<KernelVariant, int>> {
protected:
    void SetUp() override {
        savedVariant_ = activeKernels();
        savedThreads_ = omp_get_max_threads();
        if (!forceKernels(std::get<0>(GetParam()))) GTEST_SKIP() << "the CPU lacks AVX2 or FMA";
        omp_set_num_threads(std::get<1>(GetParam()));
    }
    void TearDown() override {
        forceKernels(savedVariant_);
        omp_set_num_threads(savedThreads_);
    }
    std::mt19937_64 rng{20261208};
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
    int integer(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

private:
    KernelVariant savedVariant_ = KernelVariant::generic;
    int savedThreads_ = 1;
};

// Results longer than this are left to the benchmarks: the literal twins are slow.
constexpr int kMostSamples = 300000;

std::vector<C> fast(int (GenSignalClass::*method)(const FMModParams*, double, C**, int*), const FMModParams& p,
                    double rate, int* rc) {
    GenSignalClass obj;
    C* s = nullptr;
    int n = 0;
    *rc = (obj.*method)(&p, rate, &s, &n);
    std::vector<C> v(s, s + (*rc == 0 ? n : 0));
    std::free(s);
    return v;
}

template <class Params>
std::vector<C> presized(int (GenSignalClass::*method)(const Params*, double, C*, int*), const Params& p, double rate,
                        int room) {
    GenSignalClass obj;
    std::vector<C> v(static_cast<size_t>(room), C(-9.0f, 9.0f));
    int n = -1;
    EXPECT_EQ((obj.*method)(&p, rate, v.data(), &n), 0);
    v.resize(static_cast<size_t>(n < 0 ? 0 : n));
    return v;
}

TEST_P(FastTwin, FmEveryShapeOnRandomRecords) {
    int tried = 0;
    for (int shape = 1; shape <= 4; ++shape) {
        // n = 1, n = 0 (no sample fits), then random whole periods.
        std::vector<std::pair<FMModParams, double>> cases = {{{1000, 300, shape}, 1000}, {{2e4, 10, shape}, 1}};
        while (cases.size() < 8) {
            const double rate = uniform(1e3, 1e7);
            const FMModParams p{rate / integer(2, 150000), uniform(-3e5, 3e5), shape};
            const double q = rate / p.modFrequency;
            if (wholePeriodCount(q) * q <= kMostSamples) cases.push_back({p, rate});
        }
        for (const auto& [p, rate] : cases) {
            int rc = 0;
            const std::vector<C> got = fast(&GenSignalClass::genFMSig, p, rate, &rc);
            ASSERT_EQ(rc, 0);
            if (got.size() > static_cast<size_t>(kMostSamples)) continue;
            ++tried;
            ASSERT_TRUE(sameBits(got, literal::fm(p, rate, static_cast<int>(got.size()))))
                << "shape " << shape << ", fm " << p.modFrequency << " at " << rate << ", n " << got.size();
        }
    }
    EXPECT_GE(tried, 24);
}

TEST_P(FastTwin, StepSweepOnRandomRecords) {
    std::vector<std::pair<StepSweepParams, double>> cases = {{{0, 1000, 2, 1e-3}, 1e6},          // the example
                                                             {{0, 1000, 3, 0.5}, 1.0},           // one sample
                                                             {{5e3, -5e3, 7, 1e-2}, 48e3},       // downwards
                                                             {{-2e6, 2e6, 100000, 1e-7}, 1e7}};  // steps under a sample
    while (cases.size() < 20) {
        const double rate = uniform(1e3, 1e7);
        const int steps = integer(2, 3000);
        const double dwell = integer(1, kMostSamples) / rate / steps;
        cases.push_back({{uniform(-1e6, 1e6), uniform(-1e6, 1e6), steps, dwell}, rate});
    }
    for (const auto& [p, rate] : cases) {
        const std::vector<C> expected = literal::stepSweep(p, rate);
        ASSERT_TRUE(
            sameBits(presized(&GenSignalClass::genStepSweepSig, p, rate, static_cast<int>(expected.size())), expected))
            << p.stepCount << " steps of " << p.dwellTime << " s at " << rate;
    }
}

TEST_P(FastTwin, RampSweepOnRandomRecordsAndSweepsLongerThanTheDuration) {
    std::vector<std::pair<RampSweepParams, double>> cases = {{{1e6, 1e-3, 2e-3}, 10e6},   // ramp then silence
                                                             {{500, 1e-3, 5e-3}, 1000},   // a one-sample ramp
                                                             {{2e5, 30e-3, 1e-3}, 1e6}};  // sweep 30x the duration
    while (cases.size() < 20) {
        const double rate = uniform(1e3, 1e7);
        const double sweep = integer(1, kMostSamples) / rate;
        const double duration = sweep * uniform(0.2, 1.5);
        cases.push_back({{uniform(1, 0.9 * rate), sweep, duration}, rate});
    }
    for (const auto& [p, rate] : cases) {
        const std::vector<C> expected = literal::rampSweep(p, rate);
        ASSERT_TRUE(
            sameBits(presized(&GenSignalClass::genRampSweepSig, p, rate, static_cast<int>(expected.size())), expected))
            << p.sweepTime << " s of " << p.duration << " at " << rate;
    }
}

TEST_P(FastTwin, AmEveryShapeOnRandomRecords) {
    int tried = 0;
    for (int shape = 1; shape <= 4; ++shape) {
        for (int c = 0; c < 8; ++c) {
            // Periods of whole samples; the others are 10000 periods, mostly too long.
            const double rate = uniform(1e3, 1e7);
            const AMModParams p{c == 0 ? rate : rate / integer(2, kMostSamples), uniform(1, 150), shape};
            const double q = rate / p.modFrequency;
            if (wholePeriodCount(q) * q > kMostSamples) continue;
            GenSignalClass obj;
            double* s = nullptr;
            int n = 0;
            if (obj.genAMSig(&p, rate, &s, &n) != 0) continue;
            std::vector<double> got(s, s + n);
            std::free(s);
            if (n > kMostSamples) continue;
            ++tried;
            ASSERT_TRUE(sameBits(got, literal::am(p, rate, n))) << "shape " << shape << ", n " << n;
        }
    }
    EXPECT_GE(tried, 16);
}

TEST_P(FastTwin, MultitoneWithAndWithoutResampling) {
    std::vector<std::pair<int, std::pair<double, double>>> cases = {
        {2, {1000, 1e6}}, {3, {1000, 1e6}}, {4, {300, 1e6}}, {8, {20, 7e6 / 4}}, {9, {1000, 48e3}}};
    while (cases.size() < 14) cases.push_back({integer(2, 12), {uniform(20, 2000), uniform(1e4, 2e6)}});
    for (const auto& [tones, spacingRate] : cases) {
        const auto [spacing, rate] = spacingRate;
        MultitoneParams p{};
        p.toneCount = tones;
        p.toneSpacing = spacing;
        const std::vector<C> expected = literal::multitone(p, rate);
        if (expected.size() > static_cast<size_t>(kMostSamples)) continue;
        int rc = 0;
        GenSignalClass obj;
        C* s = nullptr;
        int n = 0;
        rc = obj.genMultitoneSig(&p, rate, &s, &n);
        std::vector<C> got(s, s + (rc == 0 ? n : 0));
        std::free(s);
        ASSERT_EQ(rc, 0);
        ASSERT_TRUE(sameBits(got, expected)) << tones << " tones " << spacing << " Hz apart at " << rate;
    }
}

// Edge lengths around the 8192-sample blocks and the 127-sample overlap,
// and a draw that starts with a pending spare value.
TEST_P(FastTwin, AwgnOnEdgeLengthsAndAPendingSpare) {
    const int lengths[] = {0, 1, 126, 127, 128, 8191, 8192, 8193, 8192 + 126, 16384 + 127, 70001, 100000};
    for (int spare = 0; spare <= 1; ++spare) {
        for (int n : lengths) {
            const AWGNParams p{uniform(1e4, 6e6), n / 1e7 + 1e-12};
            std::vector<C> expected, got;
            int count = -1;
            int nextAfterLiteral = 0, nextAfterFast = 0;
            onFreshThread([&] {
                std::srand(977u + n);
                if (spare) randn();
                expected = literal::awgn(p, 1e7);
                nextAfterLiteral = std::rand();
            });
            onFreshThread([&] {
                std::srand(977u + n);
                if (spare) randn();
                got = presized(&GenSignalClass::genAWGNSig, p, 1e7, n + 1);
                count = static_cast<int>(got.size());
                nextAfterFast = std::rand();
            });
            EXPECT_EQ(nextAfterFast, nextAfterLiteral) << "both leave rand() at the same place";
            ASSERT_EQ(count, n);
            ASSERT_TRUE(sameBits(got, expected)) << n << " samples, spare " << spare;
        }
    }
}

OFDMParams ofdmRecord(int n, int symbols, int low, int high, int cp, bool windowing, DigitalModulType type, bool dc) {
    OFDMParams p{};
    p.fftSize = n;
    p.numSymbols = symbols;
    p.guardLow = low;
    p.guardHigh = high;
    p.cpPercent = cp;
    p.windowing = windowing;
    p.modType = type;
    p.nullDC = dc;
    return p;
}

std::vector<C> fastOfdm(const OFDMParams& p) {
    GenSignalClass obj;
    C* s = nullptr;
    int n = 0;
    EXPECT_EQ(obj.genOFDMSig(&p, 1e6, &s, &n), 0);
    std::vector<C> v(s, s + n);
    std::free(s);
    return v;
}

// Every FFT size the generator accepts up to 4096, random layouts, symbol
// counts that fill the eight lanes and ones that do not.
TEST_P(FastTwin, OfdmEveryFftSizeUpTo4096) {
    const DigitalModulType types[] = {BPSK, QPSK, PSK8, PSK16, QAM16, QAM64, QAM256};
    for (int n = 1; n <= 4096; n *= 2) {
        for (int c = 0; c < 3; ++c) {
            const int low = integer(0, n / 4), high = integer(0, n / 4);
            const int symbols = c == 0 ? 8 * integer(1, 3) : integer(1, 23);
            const OFDMParams p =
                ofdmRecord(n, symbols, low, high, integer(0, 100), integer(0, 1), types[integer(0, 6)], integer(0, 1));
            ASSERT_TRUE(sameBits(fastOfdm(p), literal::ofdm(p)))
                << "N " << n << ", " << symbols << " symbols, cp " << p.cpPercent << "%, windowing " << int(p.windowing)
                << ", type " << p.modType;
        }
    }
}

// Frames long enough for every thread, and sizes past the lanes.
TEST_P(FastTwin, OfdmLongFramesAndLargeSizes) {
    const OFDMParams cases[] = {
        ofdmRecord(64, 2001, 6, 5, 25, false, QPSK, true), ofdmRecord(64, 2001, 6, 5, 25, true, QAM256, true),
        ofdmRecord(256, 301, 0, 0, 100, true, PSK8, false), ofdmRecord(8192, 5, 100, 90, 10, true, QAM64, true),
        ofdmRecord(16384, 2, 0, 3, 0, false, BPSK, true)};
    for (const OFDMParams& p : cases)
        ASSERT_TRUE(sameBits(fastOfdm(p), literal::ofdm(p))) << "N " << p.fftSize << ", " << p.numSymbols;
}

INSTANTIATE_TEST_SUITE_P(VariantsAndThreads, FastTwin,
                         ::testing::Combine(::testing::Values(KernelVariant::generic, KernelVariant::avx2),
                                            ::testing::Values(1, 2, 3)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == KernelVariant::avx2 ? "avx2" : "generic") +
                                    "_threads" + std::to_string(std::get<1>(info.param));
                         });

// The pulse entry point writes a whole-sample period as two runs; the
// values must be those the real-float conversion gives the period's array.
TEST(PulseRuns, SameBufferAsConvertingThePeriod) {
    std::mt19937 rng(7);
    struct Case {
        double width, period, rate;
    };
    std::vector<Case> cases = {{1e-3, 4e-3, 1e6}, {4e-3, 4e-3, 1e6}, {0.5e-6, 4e-3, 1e6}, {1, 1, 1}};
    while (cases.size() < 30) {
        const int P = std::uniform_int_distribution<int>(1, 200000)(rng);
        const int W = std::uniform_int_distribution<int>(0, P)(rng);
        cases.push_back({(W + 0.5) / 1e6, (P + 0.5) / 1e6, 1e6});
    }
    const Handle fastHandle;
    GenSignalClass reference;
    for (const Case& c : cases) {
        const PulseParams p{c.width, c.period};
        GenSignalClass obj;
        float* x = nullptr;
        int n = 0;
        ASSERT_EQ(obj.genPulseSig(&p, c.rate, &x, &n), 0);
        int16_t* expected = nullptr;
        int expectedCount = 0;
        ASSERT_EQ(deliverSamples(&reference, x, n, &expected, &expectedCount), 0);
        int16_t* got = nullptr;
        int count = 0;
        ASSERT_EQ(GeneratePulseWaveform(fastHandle.id, &p, &got, &count, c.rate), 0);
        ASSERT_EQ(count, expectedCount);
        ASSERT_EQ(std::memcmp(got, expected, sizeof(int16_t) * count), 0) << "width " << c.width << " of " << c.period;
    }
}

}  // namespace
