// Farrow resampler: the worked examples, bit-exact agreement with a literal
// step-by-step evaluation, cubic reproduction, and the output length against
// its stop rule over many random ratios.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <omp.h>

#include <algorithm>

#include "cpuDispatch.h"
#include "farrow.h"
#include "farrowKernels.h"
#include "genSignalClass.h"

namespace {

using cf = std::complex<float>;

// The stop rule read literally: smallest k >= 1 with floor(k * r) >= n.
int64_t loopLength(int n, double outRate, double inRate) {
    if (n == 0) return 0;
    const double r = inRate / outRate;
    int64_t k = 1;
    while (std::floor(static_cast<double>(k) * r) < n) ++k;
    return k;
}

// One output sample the long way: base index and fraction from the rule,
// the four taps with zeros outside, the polynomials and the accumulation
// in its fixed order.
double literalSample(const std::vector<double>& x, double r, int k) {
    const int n = static_cast<int>(x.size());
    const double t = static_cast<double>(k) * r;
    const int b = static_cast<int>(std::floor(t));
    const double mu = (t - (b + 1)) + 1;
    auto p = [&](int i) { return i >= 0 && i < n ? x[i] : 0.0; };
    const double mu2 = mu * mu, mu3 = mu2 * mu;
    const double cm1 = ((-1.0 / 6) * mu3 + 0.5 * mu2) - (1.0 / 3) * mu;
    const double c0 = ((0.5 * mu3 - mu2) - 0.5 * mu) + 1;
    const double c1 = ((-0.5) * mu3 + 0.5 * mu2) + mu;
    const double c2 = (1.0 / 6) * mu3 - (1.0 / 6) * mu;
    double y = c1 * p(b + 1);
    y = std::fma(c2, p(b + 2), y);
    y = std::fma(c0, p(b), y);
    y = std::fma(cm1, p(b - 1), y);
    return y;
}

std::vector<cf> randomComplex(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<cf> x(n);
    for (auto& v : x) v = {u(gen), u(gen)};
    return x;
}

struct Resampled {
    int len = -1;
    std::vector<cf> y;
};

// Complex routine into an array of exactly farrowOutputLength samples, so
// that the sanitizer build catches any write past it.
Resampled runComplex(const std::vector<cf>& x, double outRate, double inRate) {
    GenSignalClass obj;
    const int size = farrowOutputLength(static_cast<int>(x.size()), outRate, inRate);
    auto* out = static_cast<cf*>(std::malloc(sizeof(cf) * static_cast<size_t>(size > 0 ? size : 1)));
    Resampled r;
    obj.FarrowInterp(x.data(), static_cast<int>(x.size()), outRate, inRate, out, &r.len);
    if (r.len > 0) r.y.assign(out, out + r.len);
    std::free(out);
    return r;
}

struct ResampledReal {
    int len = -1;
    std::vector<float> y;
};

ResampledReal runReal(std::vector<float> x, double outRate, double inRate) {
    GenSignalClass obj;
    float* out = nullptr;
    ResampledReal r;
    obj.FarrowInterp_real(x.data(), static_cast<int>(x.size()), outRate, inRate, &out, &r.len);
    if (out) r.y.assign(out, out + r.len);
    std::free(out);
    return r;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Farrow, EqualRatesReproduceTheInput) {
    for (int n : {1, 2, 3, 4, 257}) {
        const auto x = randomComplex(n, n);
        const Resampled r = runComplex(x, 48000, 48000);
        ASSERT_EQ(r.len, n);
        for (int i = 0; i < n; ++i) EXPECT_EQ(r.y[i], x[i]) << n << " " << i;
    }
}

TEST(Farrow, SingleSampleUpsampledByTwo) {
    const Resampled c = runComplex({cf(0.8f, -0.4f)}, 2, 1);
    ASSERT_EQ(c.len, 2);
    EXPECT_EQ(c.y[0], cf(0.8f, -0.4f));
    EXPECT_EQ(c.y[1], cf(static_cast<float>(0.5625 * 0.8f), static_cast<float>(0.5625 * -0.4f)));

    const ResampledReal f = runReal({0.8f}, 2, 1);
    ASSERT_EQ(f.len, 2);
    EXPECT_EQ(f.y[1], static_cast<float>(0.5625 * 0.8f));
}

TEST(Farrow, HalfStepUsesTheMidpointWeights) {
    const int n = 200;
    const auto x = randomComplex(n, 7);
    const Resampled r = runComplex(x, 2, 1);
    ASSERT_EQ(r.len, 2 * n);
    auto at = [&](int i) { return i >= 0 && i < n ? x[i] : cf(0, 0); };
    auto mid = [](float m1, float p0, float p1, float p2) {
        double y = 0.5625 * p1;
        y = std::fma(-0.0625, p2, y);
        y = std::fma(0.5625, p0, y);
        y = std::fma(-0.0625, m1, y);
        return static_cast<float>(y);
    };
    for (int k = 0; k < 2 * n; ++k) {
        if (k % 2 == 0) {
            EXPECT_EQ(r.y[k], x[k / 2]) << k;
        } else {
            const int b = k / 2;
            // The computed outer weights lie an ulp of a double off -1/16,
            // which may move the float result by one ulp.
            EXPECT_FLOAT_EQ(r.y[k].real(), mid(at(b - 1).real(), at(b).real(), at(b + 1).real(), at(b + 2).real()))
                << k;
            EXPECT_FLOAT_EQ(r.y[k].imag(), mid(at(b - 1).imag(), at(b).imag(), at(b + 1).imag(), at(b + 2).imag()))
                << k;
        }
    }
}

TEST(Farrow, DoubleStepPicksEveryOtherSample) {
    for (int n : {1, 2, 9, 10}) {
        const auto x = randomComplex(n, 100 + n);
        const Resampled r = runComplex(x, 1, 2);
        ASSERT_EQ(r.len, (n + 1) / 2) << n;
        for (int k = 0; k < r.len; ++k) EXPECT_EQ(r.y[k], x[2 * k]) << n << " " << k;
    }
}

TEST(Farrow, EmptyInputWritesAndAllocatesNothing) {
    GenSignalClass obj;
    cf sentinel(7, 7);
    int len = -1;
    obj.FarrowInterp(nullptr, 0, 2, 1, &sentinel, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(sentinel, cf(7, 7));

    float marker = 3;
    float* out = &marker;
    len = -1;
    obj.FarrowInterp_real(nullptr, 0, 2, 1, &out, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(out, &marker);
    EXPECT_EQ(farrowOutputLength(0, 2, 1), 0);
}

TEST(Farrow, RoundedRatioNeedsOneSampleMoreThanTheQuotient) {
    // 117 * 3000 / 13000 is exactly 27, but 27 * fl(13/3) < 117.
    const double r = 13000.0 / 3000.0;
    ASSERT_LT(27 * r, 117.0);
    EXPECT_EQ(farrowOutputLength(117, 3000, 13000), 28);
    const auto x = randomComplex(117, 117);
    EXPECT_EQ(runComplex(x, 3000, 13000).len, 28);
    const ResampledReal f = runReal(std::vector<float>(117, 1.0f), 3000, 13000);
    EXPECT_EQ(f.len, 28);
    ASSERT_EQ(f.y.size(), 28u);
    // The last instant, 27 * r, falls just short of the end: only p0 and p-1
    // are inside, with mu just below 1.
    EXPECT_NEAR(f.y[27], 0.0f, 1e-6f);
}

TEST(Farrow, FirstSampleIsCopiedBitForBit) {
    const float special[] = {-0.0f, 1e-45f, std::nanf("0x1234"), 3.4e38f, -1.17549435e-38f};
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> logRatio(-4, 4);
    for (float v : special) {
        for (int i = 0; i < 20; ++i) {
            const double out = std::pow(10.0, logRatio(gen));
            const ResampledReal f = runReal({v, 1.0f, 2.0f}, out, 1.0);
            ASSERT_GE(f.len, 1);
            EXPECT_TRUE(sameBits(f.y[0], v)) << out;
            const Resampled c = runComplex({cf(v, -v), cf(1, 1)}, out, 1.0);
            ASSERT_GE(c.len, 1);
            EXPECT_TRUE(sameBits(c.y[0].real(), v) && sameBits(c.y[0].imag(), -v)) << out;
        }
    }
}

// Every output sample, including the ones near both ends, matches the
// literal evaluation bit for bit.
class FarrowLiteral : public ::testing::TestWithParam<std::pair<double, double>> {};

TEST_P(FarrowLiteral, MatchesStepByStepEvaluation) {
    const auto [outRate, inRate] = GetParam();
    const KernelVariant saved = activeKernels();
    const int savedThreads = omp_get_max_threads();
    for (int n : {1, 2, 3, 4, 5, 6, 7, 300, 20011}) {
        const auto x = randomComplex(n, 31 * n + 1);
        std::vector<double> re(n), im(n);
        std::vector<float> xr(n);
        for (int i = 0; i < n; ++i) {
            re[i] = x[i].real();
            im[i] = x[i].imag();
            xr[i] = x[i].real();
        }
        const double r = inRate / outRate;
        const int64_t len = loopLength(n, outRate, inRate);
        std::vector<float> er(len), ei(len);
        for (int64_t k = 1; k < len; ++k) {
            er[k] = static_cast<float>(literalSample(re, r, static_cast<int>(k)));
            ei[k] = static_cast<float>(literalSample(im, r, static_cast<int>(k)));
        }
        for (KernelVariant variant : {KernelVariant::generic, KernelVariant::avx2}) {
            if (!forceKernels(variant)) continue;
            for (int threads : {1, 2, 3}) {
                omp_set_num_threads(threads);
                const Resampled c = runComplex(x, outRate, inRate);
                const ResampledReal f = runReal(xr, outRate, inRate);
                ASSERT_EQ(c.len, len);
                ASSERT_EQ(f.len, c.len);
                for (int k = 1; k < c.len; ++k) {
                    ASSERT_TRUE(sameBits(c.y[k].real(), er[k]) && sameBits(c.y[k].imag(), ei[k]))
                        << n << " " << k << " variant " << static_cast<int>(variant) << " threads " << threads;
                    ASSERT_TRUE(sameBits(f.y[k], er[k]))
                        << n << " " << k << " variant " << static_cast<int>(variant) << " threads " << threads;
                }
            }
        }
    }
    forceKernels(saved);
    omp_set_num_threads(savedThreads);
}

// A range of outputs computed from just the input samples it reads, in
// random pieces, gives the outputs of the whole call.
TEST(Farrow, RangesFromWindowsMatchTheWholeCall) {
    std::mt19937 rng(5);
    const KernelVariant saved = activeKernels();
    for (KernelVariant variant : {KernelVariant::generic, KernelVariant::avx2}) {
        if (!forceKernels(variant)) continue;
        for (double r : {0.8, 1.25, 0.37, 3.3, 1.0}) {
            const int n = 1000;
            const auto x = randomComplex(n, 77);
            std::vector<float> xr(n);
            for (int i = 0; i < n; ++i) xr[i] = x[i].imag();
            const Resampled whole = runComplex(x, 1.0, r);
            const ResampledReal wholeReal = runReal(xr, 1.0, r);
            for (int64_t first = 1; first < whole.len;) {
                const int64_t last = std::min<int64_t>(whole.len, first + 1 + rng() % 50);
                const InputSpan span = farrowInputSpan(n, r, first, last);
                const std::vector<cf> window(x.begin() + span.first, x.begin() + span.last);
                const std::vector<float> windowReal(xr.begin() + span.first, xr.begin() + span.last);
                std::vector<cf> out(last - first);
                std::vector<float> outReal(last - first);
                farrowRange(window.data(), span.first, n, r, first, last, out.data());
                farrowRange(windowReal.data(), span.first, n, r, first, last, outReal.data());
                for (int64_t k = first; k < last; ++k) {
                    ASSERT_TRUE(sameBits(out[k - first].real(), whole.y[k].real()) &&
                                sameBits(out[k - first].imag(), whole.y[k].imag()))
                        << r << " " << k;
                    ASSERT_TRUE(sameBits(outReal[k - first], wholeReal.y[k])) << r << " " << k;
                }
                first = last;
            }
        }
    }
    forceKernels(saved);
}

INSTANTIATE_TEST_SUITE_P(Ratios, FarrowLiteral,
                         ::testing::Values(std::make_pair(1e6, 999900.0), std::make_pair(44100.0, 44000.0),
                                           std::make_pair(3.0, 1.0), std::make_pair(10.0, 7.0),
                                           std::make_pair(3000.0, 13000.0), std::make_pair(1.0, 3.7),
                                           std::make_pair(1.0, std::sqrt(2.0))));

// Cubic Lagrange interpolation reproduces a cubic away from the ends: this
// pins each polynomial to its tap.
TEST(Farrow, ReproducesACubicInTheInterior) {
    const int n = 64;
    auto cubic = [](double t) { return 0.3 + 0.05 * t - 0.004 * t * t + 0.0001 * t * t * t; };
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(cubic(i));
    for (double ratio : {0.37, 0.5, 0.93, 1.618}) {
        const ResampledReal f = runReal(x, 1.0, ratio);
        int checked = 0;
        for (int k = 0; k < f.len; ++k) {
            const double t = k * ratio;
            if (t < 1 || t > n - 3) continue;
            EXPECT_NEAR(f.y[k], cubic(t), 2e-6) << ratio << " " << k;
            ++checked;
        }
        EXPECT_GT(checked, 30);
    }
}

struct BadRates {
    const char* name;
    double outRate, inRate;
};

class FarrowBadRates : public ::testing::TestWithParam<BadRates> {};

TEST_P(FarrowBadRates, RefusedWithoutWriting) {
    const auto c = GetParam();
    EXPECT_EQ(farrowOutputLength(10, c.outRate, c.inRate), -1);
    GenSignalClass obj;
    std::vector<cf> x(10, cf(1, 1));
    cf out[4] = {cf(9, 9), cf(9, 9), cf(9, 9), cf(9, 9)};
    int len = -1;
    obj.FarrowInterp(x.data(), 10, c.outRate, c.inRate, out, &len);
    EXPECT_EQ(len, 0);
    for (const cf& v : out) EXPECT_EQ(v, cf(9, 9));
    std::vector<float> xr(10, 1.0f);
    float marker = 0;
    float* p = &marker;
    len = -1;
    obj.FarrowInterp_real(xr.data(), 10, c.outRate, c.inRate, &p, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(p, &marker);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FarrowBadRates,
    ::testing::Values(BadRates{"ZeroInRate", 1, 0}, BadRates{"ZeroOutRate", 0, 1}, BadRates{"NegativeInRate", 1, -1},
                      BadRates{"NegativeOutRate", -1, 1}, BadRates{"NanInRate", 1, NAN}, BadRates{"NanOutRate", NAN, 1},
                      BadRates{"InfiniteInRate", 1, INFINITY}, BadRates{"InfiniteOutRate", INFINITY, 1},
                      BadRates{"RatioUnderflowsToZero", 1e300, 1e-300}, BadRates{"OutputReaches2To30", 2e8, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FarrowLength, LimitsAndHugeRatios) {
    EXPECT_EQ(farrowOutputLength(1, 1 << 29, 1), 1 << 29);
    EXPECT_EQ(farrowOutputLength(1, 1 << 30, 1), -1);
    EXPECT_EQ(farrowOutputLength(-1, 1, 1), -1);
    EXPECT_EQ(farrowOutputLength(2147483647, 1, 1), -1);
    EXPECT_EQ(farrowOutputLength(2147483647, 1, 4), 536870912);
    // A ratio far beyond the int range: one output sample, no overflow.
    EXPECT_EQ(farrowOutputLength(2147483647, 1e-300, 1e300), 1);
    const Resampled c = runComplex({cf(1, 2), cf(3, 4)}, 1e-300, 1e300);
    ASSERT_EQ(c.len, 1);
    EXPECT_EQ(c.y[0], cf(1, 2));
    const ResampledReal f = runReal({5, 6}, 1, 3e9);
    ASSERT_EQ(f.len, 1);
    EXPECT_EQ(f.y[0], 5.0f);
}

// Over many random lengths and ratios the length matches the stop rule read
// literally, and both routines write exactly that many samples into an
// array of that size. Ratios from whole-number rates hit the cases where the
// rounded-up quotient is one short.
TEST(FarrowLength, MatchesTheStopRuleOverRandomRatios) {
    std::mt19937 gen(2024);
    std::uniform_int_distribution<int> lenDist(1, 1000);
    std::uniform_int_distribution<int> rateDist(1, 20000);
    std::uniform_int_distribution<int> smallDist(1, 60);
    std::uniform_real_distribution<double> logRatio(-1.5, 1);
    int oneShort = 0;
    for (int i = 0; i < 2000; ++i) {
        int n = lenDist(gen);
        double outRate, inRate;
        if (i % 2 == 0) {
            // Whole rates a*s and b*s with n a multiple of b: n * a / b is whole.
            const int a = smallDist(gen), b = smallDist(gen), scale = rateDist(gen);
            outRate = static_cast<double>(a) * scale;
            inRate = static_cast<double>(b) * scale;
            n = b * (1 + n % std::max(1, 1000 / b));
        } else {
            outRate = std::pow(10.0, logRatio(gen)) * 1e4;
            inRate = 1e4;
        }
        const int64_t expected = loopLength(n, outRate, inRate);
        const int K = farrowOutputLength(n, outRate, inRate);
        ASSERT_EQ(K, expected) << n << " " << outRate << " " << inRate;
        if (K > std::ceil(n * outRate / inRate)) ++oneShort;
        const Resampled c = runComplex(randomComplex(n, i), outRate, inRate);
        ASSERT_EQ(c.len, K);
        const ResampledReal f = runReal(std::vector<float>(n, 0.5f), outRate, inRate);
        ASSERT_EQ(f.len, K);
    }
    EXPECT_GT(oneShort, 0);
}

}  // namespace
