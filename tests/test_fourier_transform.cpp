// The FFTW wrapper against a plain DFT, in both precisions and directions,
// over sizes of every kind FFTW treats differently (1, powers of two, mixed
// radices, a large prime).
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "fourierTransform.h"

namespace {

template <class Real>
std::vector<std::complex<double>> plainDft(const std::vector<std::complex<Real>>& x, int sign) {
    const size_t n = x.size();
    std::vector<std::complex<double>> y(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (size_t j = 0; j < n; ++j) {
            const double angle = sign * 2 * M_PI * double((j * k) % n) / double(n);
            sum += std::complex<double>(x[j]) * std::polar(1.0, angle);
        }
        y[k] = sum;
    }
    return y;
}

template <class Real>
void checkAgainstPlainDft(int n, DftDirection direction, double tolerance) {
    std::mt19937 rng(n);
    std::normal_distribution<double> normal;
    std::vector<std::complex<Real>> x(n), y(n);
    for (auto& v : x) v = {Real(normal(rng)), Real(normal(rng))};
    Dft<Real> dft;
    ASSERT_TRUE(dft.plan(n, x.data(), y.data(), direction));
    auto input = x;
    dft.execute(input.data(), y.data());
    const auto want = plainDft(x, direction == DftDirection::forward ? -1 : 1);
    double worst = 0;
    for (int k = 0; k < n; ++k) worst = std::max(worst, std::abs(std::complex<double>(y[k]) - want[k]));
    EXPECT_LT(worst, tolerance * std::sqrt(double(n))) << "n = " << n;
}

class DftSizes : public ::testing::TestWithParam<int> {};

TEST_P(DftSizes, MatchesThePlainSumInBothPrecisionsAndDirections) {
    const int n = GetParam();
    checkAgainstPlainDft<double>(n, DftDirection::forward, 1e-12);
    checkAgainstPlainDft<double>(n, DftDirection::backward, 1e-12);
    checkAgainstPlainDft<float>(n, DftDirection::forward, 1e-4);
    checkAgainstPlainDft<float>(n, DftDirection::backward, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DftSizes, ::testing::Values(1, 2, 64, 1000, 1023, 1009));

TEST(Dft, InPlaceRunsOnAnyArrayOfThePlannedSize) {
    std::vector<std::complex<double>> a(12, 1.0), b(12);
    Dft<double> dft;
    ASSERT_TRUE(dft.plan(12, a.data(), a.data(), DftDirection::forward));
    for (int i = 0; i < 12; ++i) b[i] = i == 1 ? 1.0 : 0.0;
    dft.execute(b.data(), b.data());
    for (int k = 0; k < 12; ++k) EXPECT_NEAR(std::abs(b[k] - std::polar(1.0, -2 * M_PI * k / 12)), 0, 1e-12) << k;
}

TEST(Dft, RefusesEmptySizes) {
    std::complex<float> x[1];
    Dft<float> dft;
    EXPECT_FALSE(dft.plan(0, x, x, DftDirection::forward));
    EXPECT_FALSE(dft.plan(-3, x, x, DftDirection::forward));
    EXPECT_FALSE(bool(dft));
}

}  // namespace
