// The periodic resampler against the ideal band-limited resampling of its
// period (a plain DFT), up and down, with exact and interpolated filter rows;
// and its bits at any thread count and with either kernel variant.
#include <gtest/gtest.h>
#include <omp.h>

#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "bandLimitedReference.h"
#include "kernelVariants.h"
#include "periodicResampler.h"
#include "testSupport.h"

namespace {

using C = std::complex<float>;
using testing_support::bandErrorDb;
using testing_support::harmonicsBelow;

std::vector<C> whiteNoise(int64_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<float> d;
    std::vector<C> x(static_cast<size_t>(n));
    for (auto& v : x) v = {d(gen), d(gen)};
    return x;
}

// `periods` periods of x resampled by p / q (input samples per output).
std::vector<C> resampled(const std::vector<C>& x, int64_t p, int64_t q, int64_t outputs) {
    PeriodicResampler r;
    EXPECT_EQ(r.design(p, q), 0);
    std::vector<C> y(static_cast<size_t>(outputs));
    const int64_t L = static_cast<int64_t>(x.size());
    const int rc = resamplePeriodic(
        r, outputs, [&](int64_t a, int64_t b, C* dst) { copyPeriodic(x.data(), L, a, b, dst); }, y.data());
    EXPECT_EQ(rc, 0);
    return y;
}

struct RatioCase {
    const char* what;
    int64_t L, p, q, outputs;
};

class PeriodicResamplerAccuracy : public ::testing::TestWithParam<RatioCase> {};

// White noise fills every band, so the downsampling cases also show that
// what lies above the output's Nyquist frequency does not fold into it.
TEST_P(PeriodicResamplerAccuracy, MatchesTheIdealBandLimitedResampling) {
    const RatioCase c = GetParam();
    const std::vector<C> x = whiteNoise(c.L, 7);
    const std::vector<C> y = resampled(x, c.p, c.q, c.outputs);
    const double lower = 0.5 * std::min(1.0, static_cast<double>(c.q) / c.p);  // cycles per input sample
    const auto ref = harmonicsBelow(x, lower);
    // The filter's ripple is -89 dB RMS over the band.
    EXPECT_LT(bandErrorDb(y, ref, c.L, c.p, c.q, 0.9 * lower), -84) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Ratios, PeriodicResamplerAccuracy,
                         ::testing::Values(RatioCase{"up 1250/1023", 2046, 1023, 1250, 2500},
                                           RatioCase{"down 1023/1250", 2500, 1250, 1023, 2046},
                                           RatioCase{"down 5/2", 500, 5, 2, 200}, RatioCase{"up 3", 300, 1, 3, 900},
                                           // 7 periods of 50 samples make 450 outputs.
                                           RatioCase{"up 9/7, seven periods", 50, 7, 9, 450},
                                           // More fractions than exact rows: interpolated rows.
                                           RatioCase{"up 4111/4099", 4099, 4099, 4111, 4111},
                                           RatioCase{"down 8191/3001, interpolated rows", 8191, 8191, 3001, 3001},
                                           RatioCase{"equal", 256, 1, 1, 256}));

TEST(PeriodicResamplerMean, IsKeptToFloatRounding) {
    std::vector<C> x = whiteNoise(1023, 3);
    for (auto& v : x) v += C(0.75f, -0.5f);
    double mean = 0;
    for (const auto& v : x) mean += v.real();
    mean /= static_cast<double>(x.size());
    for (const auto& [p, q, n] :
         {std::tuple<int64_t, int64_t, int64_t>{1023, 1250, 1250}, {4092, 5000, 1250}, {1023, 4111, 4111}}) {
        const std::vector<C> y = resampled(x, p, q, n);
        double got = 0;
        for (const auto& v : y) got += v.real();
        EXPECT_NEAR(got / static_cast<double>(n), mean, 2e-6) << p << "/" << q;
    }
}

class PeriodicResamplerBits : public testing_support::KernelVariantTest {};

// The same bits from the generic and AVX2 kernels and at 1 and 3 threads:
// the generic run at one thread is the reference both are held to.
TEST_P(PeriodicResamplerBits, AgreeWithTheGenericKernelAtOneThread) {
    const std::vector<C> x = whiteNoise(8184, 11);
    for (const auto& [p, q] : {std::pair<int64_t, int64_t>{1023, 1250}, {4099, 4111}, {11, 3}}) {
        const int64_t n = 8184 / p * q;
        const int saved = omp_get_max_threads();
        const KernelVariant variant = activeKernels();
        forceKernels(KernelVariant::generic);
        omp_set_num_threads(1);
        const std::vector<C> reference = resampled(x, p, q, n);
        forceKernels(variant);
        omp_set_num_threads(3);
        const std::vector<C> got = resampled(x, p, q, n);
        omp_set_num_threads(saved);
        EXPECT_TRUE(testing_support::sameBits(got, reference)) << p << "/" << q;
    }
}

INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(PeriodicResamplerBits);

TEST(PeriodicResamplerDesign, RefusesRatiosItCannotTabulate) {
    PeriodicResampler r;
    EXPECT_EQ(r.design(0, 1), -1);
    EXPECT_EQ(r.design(5000, 1), -1);
    EXPECT_EQ(r.design(4096, 1), 0);
}

}  // namespace
