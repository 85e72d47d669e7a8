// AWGN generator: the exact output against an independent evaluation (raw
// draws, windowed-sinc taps, full-overlap filtering), the measured spectrum,
// lengths, refusals, thread-count independence and the wavegen subcommand.
#include <fftw3.h>
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "genSignalClass.h"
#include "noiseReference.h"
#include "testSupport.h"
#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::expectRefusal;
using testing_support::Handle;

using cf = std::complex<float>;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const cf kSentinel(-7.5f, 3.25f);

struct NoiseRun {
    int rc = 0;
    int count = -1;
    std::vector<cf> out;  // the whole array handed in: room N + 300
};

// Calls the generator with srand(seed) on a fresh thread (empty spare), into
// an array of `room` samples filled with a sentinel.
NoiseRun generate(double bandwidth, double duration, double rate, unsigned seed, int room) {
    NoiseRun r;
    r.out.assign(room, kSentinel);
    onFreshThread([&] {
        std::srand(seed);
        GenSignalClass obj;
        const AWGNParams p{bandwidth, duration};
        r.rc = obj.genAWGNSig(&p, rate, r.out.data(), &r.count);
    });
    return r;
}

// The 128 taps, straight from their definition.
std::vector<float> referenceTaps(double c) {
    const double pi = 3.141592653589793;
    std::vector<float> h(128);
    for (int n = 0; n < 128; ++n) {
        const double w = 0.54 - 0.46 * std::cos(2 * pi * n / 127);
        const int t = n - 64;
        const double s = t == 0 ? c : std::sin(c * t * pi) / (t * pi);
        h[n] = static_cast<float>(static_cast<float>(s) * w);
    }
    return h;
}

struct ExactCase {
    const char* name;
    double bandwidth, rate, duration;
    int n;
};
void PrintTo(const ExactCase& c, std::ostream* os) { *os << c.name; }

class AwgnExact : public ::testing::TestWithParam<ExactCase> {};

// Output sample i is sum_k raw[i + k] * h[k] (fused multiply-adds in double),
// raw[j] = (value 2j, value 2j + 1) of the polar stream; exactly N samples
// are written, and exactly N + 127 pairs are drawn from rand().
TEST_P(AwgnExact, MatchesTheFilteredPolarStream) {
    const ExactCase c = GetParam();
    const unsigned seed = 11;
    const int rawLen = c.n + 127;
    const PolarReference ref = polarReference(seed, static_cast<size_t>(rawLen) * 4 + 1000);
    ASSERT_GE(ref.values.size(), static_cast<size_t>(2 * rawLen));
    std::vector<cf> raw(rawLen);
    for (int j = 0; j < rawLen; ++j)
        raw[j] = cf(static_cast<float>(ref.values[2 * j]), static_cast<float>(ref.values[2 * j + 1]));
    const std::vector<float> h = referenceTaps(std::fmin(c.bandwidth / c.rate, 0.5));

    NoiseRun r;
    r.out.assign(c.n + 300, kSentinel);
    int nextRand = 0;
    onFreshThread([&] {
        std::srand(seed);
        GenSignalClass obj;
        const AWGNParams p{c.bandwidth, c.duration};
        r.rc = obj.genAWGNSig(&p, c.rate, r.out.data(), &r.count);
        nextRand = std::rand();
    });
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.count, c.n);
    EXPECT_EQ(nextRand, ref.draws[ref.used[2 * rawLen - 1]]) << "rand() calls";
    for (int i = 0; i < c.n; ++i) {
        double re = 0, im = 0;
        for (int k = 0; k < 128; ++k) {
            re = std::fma(static_cast<double>(raw[i + k].real()), static_cast<double>(h[k]), re);
            im = std::fma(static_cast<double>(raw[i + k].imag()), static_cast<double>(h[k]), im);
        }
        ASSERT_EQ(r.out[i], cf(static_cast<float>(re), static_cast<float>(im))) << "sample " << i;
    }
    for (int i = c.n; i < c.n + 300; ++i) ASSERT_EQ(r.out[i], kSentinel) << "written beyond N at " << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, AwgnExact,
                         ::testing::Values(ExactCase{"Fifth", 2e5, 1e6, 1e-3, 1000},
                                           ExactCase{"Half", 5e5, 1e6, 1e-3, 1000},
                                           ExactCase{"Narrow", 1e3, 1e6, 5e-4, 500},
                                           ExactCase{"OddLength", 3e3, 44100, 0.01, 441},
                                           ExactCase{"OneSample", 1e5, 1e6, 1.5e-6, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Awgn, TapGainNearOneDownToFivePercentOfTheRate) {
    for (double c : {0.05, 0.08, 0.1, 0.2, 0.3, 0.4, 0.5}) {
        double gain = 0;
        for (float t : referenceTaps(c)) gain += t;
        EXPECT_NEAR(gain, 1.0, 0.003) << "c = " << c;
    }
    double narrow = 0;
    for (float t : referenceTaps(0.01)) narrow += t;
    EXPECT_NEAR(narrow, 0.62, 0.01);  // the window truncates the sinc
}

TEST(Awgn, BandwidthAtOrAboveHalfTheRateActsAsHalf) {
    const NoiseRun half = generate(5e5, 2e-3, 1e6, 3, 2300);
    ASSERT_EQ(half.rc, 0);
    for (double bw : {5e5, 5.0000001e5, 7e5, 1e12, kInf}) {
        const NoiseRun r = generate(bw, 2e-3, 1e6, 3, 2300);
        ASSERT_EQ(r.rc, 0) << bw;
        EXPECT_EQ(r.out, half.out) << bw;
    }
    const NoiseRun below = generate(4.9e5, 2e-3, 1e6, 3, 2300);
    EXPECT_NE(below.out, half.out);
}

// Welch estimate (Hann window, 1024-point segments, half overlap) of the
// power spectral density, per sample, over normalised frequency bins
// ordered from -0.5 to 0.5.
std::vector<double> welch(const std::vector<cf>& x, int n) {
    const int seg = 1024;
    std::vector<double> win(seg), psd(seg, 0.0);
    double wPower = 0;
    for (int i = 0; i < seg; ++i) {
        win[i] = 0.5 - 0.5 * std::cos(2 * M_PI * i / seg);
        wPower += win[i] * win[i];
    }
    fftw_complex* buf = fftw_alloc_complex(seg);
    fftw_plan plan = fftw_plan_dft_1d(seg, buf, buf, FFTW_FORWARD, FFTW_ESTIMATE);
    int segments = 0;
    for (int start = 0; start + seg <= n; start += seg / 2, ++segments) {
        for (int i = 0; i < seg; ++i) {
            buf[i][0] = x[start + i].real() * win[i];
            buf[i][1] = x[start + i].imag() * win[i];
        }
        fftw_execute(plan);
        for (int k = 0; k < seg; ++k) psd[(k + seg / 2) % seg] += buf[k][0] * buf[k][0] + buf[k][1] * buf[k][1];
    }
    fftw_destroy_plan(plan);
    fftw_free(buf);
    for (double& p : psd) p /= wPower * segments;
    return psd;
}

struct BandCase {
    double c;         // bandwidth / rate
    double passEdge;  // |f| below this: pass band (cycles per sample)
    double stopEdge;  // |f| above this: stop band
};

class AwgnSpectrum : public ::testing::TestWithParam<BandCase> {};

// The raw noise has a flat density of 2 (two unit-variance components);
// the filter keeps it (gain 1) inside +-c/2 and removes it outside.
TEST_P(AwgnSpectrum, FlatInBandAndFallingOutside) {
    const BandCase b = GetParam();
    const int n = 1 << 18;
    const double rate = 1 << 20;  // n / rate is exact
    const NoiseRun r = generate(b.c * rate, n / rate, rate, 21, n + 300);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.count, n);
    const std::vector<double> psd = welch(r.out, n);
    const int seg = static_cast<int>(psd.size());
    // 511 segments, averaged over groups of 8 bins: about 2 % per group.
    double passSum = 0, passMin = kInf, passMax = 0, stopSum = 0, stopMax = 0;
    int passGroups = 0, stopGroups = 0;
    for (int g = 0; g < seg / 8; ++g) {
        double sum = 0;
        for (int k = 8 * g; k < 8 * g + 8; ++k) sum += psd[k];
        const double level = sum / 8;
        const double lo = std::fabs((8.0 * g - seg / 2) / seg), hi = std::fabs((8.0 * g + 8 - seg / 2) / seg);
        const double nearest = std::fmin(lo, hi), farthest = std::fmax(lo, hi);
        if (farthest < b.passEdge) {
            passSum += level, ++passGroups;
            passMin = std::fmin(passMin, level);
            passMax = std::fmax(passMax, level);
        } else if (nearest > b.stopEdge) {
            stopSum += level, ++stopGroups;
            stopMax = std::fmax(stopMax, level);
        }
    }
    ASSERT_GT(passGroups, 4);
    const double inBand = passSum / passGroups;
    EXPECT_NEAR(inBand / 2, 1.0, 0.03) << "gain in band";
    EXPECT_LT(passMax / passMin, 1.2) << "ripple in band";
    if (stopGroups > 0) {
        EXPECT_LT(stopSum / stopGroups / inBand, 1e-5) << "stop band, mean";
        EXPECT_LT(stopMax / inBand, 1e-4) << "stop band, worst group";
    }
    // At the cut-off +-c/2 the amplitude response is one half.
    for (double edge : {-b.c / 2, b.c / 2}) {
        const int centre = static_cast<int>(std::lround(edge * seg)) + seg / 2;
        double sum = 0;
        for (int k = centre - 2; k <= centre + 2; ++k) sum += psd[k];
        EXPECT_NEAR(sum / 5 / inBand, 0.25, 0.1) << "cut-off at " << edge;
    }
}

INSTANTIATE_TEST_SUITE_P(Bands, AwgnSpectrum,
                         ::testing::Values(BandCase{0.2, 0.08, 0.14}, BandCase{0.08, 0.025, 0.075},
                                           BandCase{0.5, 0.22, 0.28}),
                         [](const auto& info) { return "c" + std::to_string(std::lround(info.param.c * 100)); });

TEST(Awgn, IndependentOfTheOpenMpThreadCount) {
    std::vector<NoiseRun> runs;
    for (int threads : {1, 2, 3, 8}) {
        NoiseRun r;
        r.out.assign(5300, kSentinel);
        onFreshThread([&] {
            omp_set_num_threads(threads);
            std::srand(7);
            GenSignalClass obj;
            const AWGNParams p{1e5, 5e-3};
            r.rc = obj.genAWGNSig(&p, 1e6, r.out.data(), &r.count);
        });
        ASSERT_EQ(r.rc, 0);
        ASSERT_EQ(r.count, 5000);
        runs.push_back(r);
    }
    for (size_t i = 1; i < runs.size(); ++i) EXPECT_EQ(runs[i].out, runs[0].out) << i;
}

TEST(Awgn, SuccessiveCallsContinueTheStream) {
    std::vector<cf> a(1300), b(1300);
    int na = 0, nb = 0;
    onFreshThread([&] {
        std::srand(9);
        GenSignalClass obj;
        const AWGNParams p{1e5, 1e-3};
        ASSERT_EQ(obj.genAWGNSig(&p, 1e6, a.data(), &na), 0);
        ASSERT_EQ(obj.genAWGNSig(&p, 1e6, b.data(), &nb), 0);
    });
    ASSERT_EQ(na, 1000);
    ASSERT_EQ(nb, 1000);
    EXPECT_NE(a, b);
}

TEST(Awgn, OneSecondAtOneMegahertzThroughTheEntryPoint) {
    const Handle h;
    const AWGNParams p{2e5, 1.0};
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateAWGNWaveform(h.id, &p, &iq, &count, 1e6), 0);
    ASSERT_EQ(count, 2000000);
    double peak2 = 0;
    for (int i = 0; i < count / 2; ++i) {
        // (A comparison, not std::fmax: GCC 12 for aarch64 fails on the
        // vectorised fmax reduction.)
        const double square = double(iq[2 * i]) * iq[2 * i] + double(iq[2 * i + 1]) * iq[2 * i + 1];
        if (square > peak2) peak2 = square;
    }
    EXPECT_NEAR(std::sqrt(peak2), 32766, 1.5);
}

// A band of a few 1e-24 of the rate leaves noise around 1e-20, whose
// squared magnitude underflows float: refused rather than scaled past 32766
// (3e-15 Hz) or to zeros (1e-15 Hz).
TEST(Awgn, BandTooNarrowToScaleIsRefused) {
    for (double bandwidth : {3e-15, 1e-15}) {
        const int h = GenSignalObjCreatSelfEncode();
        const AWGNParams p{bandwidth, 1e-5};
        int16_t sentinel = 0;
        int16_t* iq = &sentinel;
        int count = 5;
        EXPECT_EQ(GenerateAWGNWaveform(h, &p, &iq, &count, 1e9), -1) << bandwidth;
        EXPECT_EQ(count, 5);
        EXPECT_EQ(iq, &sentinel);
        char message[256];
        GenSignalGetLastError(message, sizeof message);
        EXPECT_NE(std::string(message).find("is too small to scale into 16 bits"), std::string::npos) << message;
        GenSignalObjRelease(h);
    }
}

TEST(Awgn, LessThanOneSampleGivesAnEmptyResult) {
    const NoiseRun r = generate(100, 5e-4, 1000, 1, 300);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.count, 0);
    for (const cf& s : r.out) ASSERT_EQ(s, kSentinel);

    // Through the entry point: refused on a fresh object (no buffer to hand
    // out), accepted with the earlier buffer once there is one.
    const Handle h;
    const AWGNParams empty{100, 5e-4};
    expectRefusal([&](int16_t** iq, int* n) { return GenerateAWGNWaveform(h.id, &empty, iq, n, 1000); },
                  "the waveform is empty and the handle holds no earlier buffer");
    int16_t* iq = nullptr;
    int count = 5;
    const AWGNParams some{100, 0.1};
    ASSERT_EQ(GenerateAWGNWaveform(h.id, &some, &iq, &count, 1000), 0);
    ASSERT_EQ(count, 200);
    int16_t* const first = iq;
    EXPECT_EQ(GenerateAWGNWaveform(h.id, &empty, &iq, &count, 1000), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(iq, first);
}

// Every rule of the record: refused with -1 before anything is drawn or
// written (the count, the array and rand()'s state stay as they were), and
// through the entry point with a reason that names the field.
struct Refusal {
    const char* name;
    double bandwidth, duration, rate;
    const char* reason;
};
void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class AwgnRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(AwgnRefusal, TouchesNothingAndSaysWhy) {
    const Refusal c = GetParam();
    std::vector<cf> out(64, kSentinel);
    int count = 5, rc = 0, nextRand = 0;
    onFreshThread([&] {
        std::srand(4);
        const int expectedRand = std::rand();
        std::srand(4);
        GenSignalClass obj;
        const AWGNParams p{c.bandwidth, c.duration};
        rc = obj.genAWGNSig(&p, c.rate, out.data(), &count);
        nextRand = std::rand() - expectedRand;
    });
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(nextRand, 0);
    for (const cf& s : out) ASSERT_EQ(s, kSentinel);

    const Handle h;
    const AWGNParams p{c.bandwidth, c.duration};
    expectRefusal([&](int16_t** iq, int* n) { return GenerateAWGNWaveform(h.id, &p, iq, n, c.rate); }, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AwgnRefusal,
    ::testing::Values(
        Refusal{"ZeroRate", 1e3, 1, 0, "sampleRate = 0: must be finite and above 0"},
        Refusal{"NegativeRate", 1e3, 1, -1e6, "sampleRate = -1000000: must be finite and above 0"},
        Refusal{"NanRate", 1e3, 1, kNaN, "sampleRate = nan: must be finite and above 0"},
        Refusal{"InfiniteRate", 1e3, 1e-9, kInf, "sampleRate = inf: must be finite and above 0"},
        Refusal{"ZeroBandwidth", 0, 1e-3, 1e6, "AWGNParams.bandwidth = 0: must be above 0"},
        Refusal{"NegativeBandwidth", -1e3, 1e-3, 1e6, "AWGNParams.bandwidth = -1000: must be above 0"},
        Refusal{"NanBandwidth", kNaN, 1e-3, 1e6, "AWGNParams.bandwidth = nan: must be above 0"},
        Refusal{"ZeroDuration", 1e3, 0, 1e6, "AWGNParams.duration = 0: must be finite and above 0"},
        Refusal{"NegativeDuration", 1e3, -1, 1e6, "AWGNParams.duration = -1: must be finite and above 0"},
        Refusal{"NanDuration", 1e3, kNaN, 1e6, "AWGNParams.duration = nan: must be finite and above 0"},
        Refusal{"InfiniteDuration", 1e3, kInf, 1e6, "AWGNParams.duration = inf: must be finite and above 0"},
        Refusal{"ExactlyTwoToThirty", 1e3, 1048576, 1024,
                "result of 1073741824 samples: must be finite and below 2^30"},
        Refusal{"ProductOverflowsInt", 1e3, 1e9, 1e9, "result of 1e+18 samples: must be finite and below 2^30"}),
    [](const auto& info) { return std::string(info.param.name); });

// wavegen awgn: --seed seeds rand() in the program, so the data file is what
// the library gives after the same srand() in this process.
using WavegenAwgn = WavegenRun;

TEST_F(WavegenAwgn, SeededDataIsTheLibraryBufferAfterTheSameSeed) {
    std::string output;
    ASSERT_EQ(run("awgn --bandwidth 1e5 --duration 0.002 --sample-rate 1e6 --seed 5 -o n5", output), 0) << output;
    EXPECT_NE(output.find("awgn: 2000 samples"), std::string::npos) << output;
    LibraryIq expected;
    onFreshThread([&] {
        std::srand(5);
        const AWGNParams p{1e5, 0.002};
        expected =
            libraryIq([&](int h, int16_t** iq, int* count) { return GenerateAWGNWaveform(h, &p, iq, count, 1e6); });
    });
    ASSERT_EQ(expected.rc, 0);
    const auto data = readFile("n5.sigmf-data");
    ASSERT_TRUE(sameSamples(data, expected.iq));

    const auto meta = nlohmann::json::parse(readText("n5.sigmf-meta")).at("global");
    EXPECT_EQ(meta.at("gensignal:kind"), "awgn");
    EXPECT_EQ(meta.at("gensignal:bandwidth"), 1e5);
    EXPECT_EQ(meta.at("gensignal:duration"), 0.002);
    EXPECT_EQ(meta.at("gensignal:seed"), 5);

    ASSERT_EQ(run("awgn --bandwidth 1e5 --duration 0.002 --sample-rate 1e6 --seed 6 --format raw -o n6", output), 0);
    EXPECT_NE(readFile("n6.raw"), data);
}

}  // namespace
