// Fully overlapped FIR filtering: lengths, tap order, exact rounding rules
// and independence from the thread count.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <random>
#include <vector>

#include "genSignalClass.h"

namespace {

using C = std::complex<float>;

std::vector<C> convC(const std::vector<C>& x, const std::vector<float>& h, int m = -1) {
    GenSignalClass obj;
    std::vector<C> y(x.size() + 1, C(-7, -7));
    int len = -1;
    obj.conv2_complex(x.data(), static_cast<int>(x.size()), h.data(), m < 0 ? static_cast<int>(h.size()) : m, y.data(),
                      &len);
    EXPECT_GE(len, 0);
    y.resize(static_cast<size_t>(len));
    return y;
}

std::vector<float> convR(const std::vector<float>& x, const std::vector<float>& h) {
    GenSignalClass obj;
    float* y = nullptr;
    int len = -1;
    obj.conv2_real(x.data(), static_cast<int>(x.size()), h.data(), static_cast<int>(h.size()), &y, &len);
    std::vector<float> v;
    if (len > 0) v.assign(y, y + len);
    std::free(y);
    return v;
}

std::vector<float> randomFloats(size_t n, std::mt19937& rng, float scale = 1.0f) {
    std::uniform_real_distribution<float> d(-scale, scale);
    std::vector<float> v(n);
    for (auto& x : v) x = d(rng);
    return v;
}

std::vector<C> randomComplex(size_t n, std::mt19937& rng) {
    const auto re = randomFloats(n, rng), im = randomFloats(n, rng);
    std::vector<C> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = {re[i], im[i]};
    return v;
}

TEST(Convolution, TapsAreNotReversed) {
    EXPECT_EQ(convR({1, 0, 0}, {1, 2}), (std::vector<float>{1, 0}));
    EXPECT_EQ(convC({{1, -1}, {0, 0}, {0, 0}}, {1, 2}), (std::vector<C>{{1, -1}, {0, 0}}));
    EXPECT_EQ(convR({0, 0, 1}, {1, 2}), (std::vector<float>{0, 2}));
}

TEST(Convolution, EqualLengthsGiveOneDotProduct) {
    EXPECT_EQ(convR({1, 2, 3}, {4, 5, 6}), (std::vector<float>{32}));
    EXPECT_EQ(convC({{1, 1}, {2, 0}, {3, -1}}, {4, 5, 6}), (std::vector<C>{{32, -2}}));
}

TEST(Convolution, SingleUnitTapReturnsTheInput) {
    std::mt19937 rng(1);
    const auto xr = randomFloats(100, rng);
    const auto xc = randomComplex(100, rng);
    EXPECT_EQ(convR(xr, {1}), xr);
    EXPECT_EQ(convC(xc, {1}), xc);
}

TEST(Convolution, ShortInputGivesNothingAndLeavesOutputsAlone) {
    GenSignalClass obj;
    const float x[2] = {1, 2}, h[3] = {1, 1, 1};
    float sentinel = 5;
    float* y = &sentinel;
    int len = -1;
    obj.conv2_real(x, 2, h, 3, &y, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(y, &sentinel);

    const C xc[2] = {{1, 1}, {2, 2}};
    C out[2] = {{9, 9}, {9, 9}};
    len = -1;
    obj.conv2_complex(xc, 2, h, 3, out, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(out[0], C(9, 9));
}

TEST(Convolution, TapCountBelowOneGivesNothing) {
    GenSignalClass obj;
    const float x[4] = {1, 2, 3, 4}, h[1] = {1};
    float* y = nullptr;
    int len = -1;
    obj.conv2_real(x, 4, h, 0, &y, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(y, nullptr);
    const C xc[4] = {};
    C out[4] = {{9, 9}, {9, 9}, {9, 9}, {9, 9}};
    len = -1;
    obj.conv2_complex(xc, 4, h, -3, out, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(out[0], C(9, 9));
}

TEST(Convolution, ZeroImaginaryInputStaysExactlyReal) {
    std::mt19937 rng(2);
    const auto re = randomFloats(300, rng);
    std::vector<C> x(300);
    for (size_t i = 0; i < x.size(); ++i) x[i] = {re[i], 0.0f};
    for (const C& y : convC(x, randomFloats(49, rng))) EXPECT_EQ(y.imag(), 0.0f);
}

// The rounding rules, written out independently: double fused multiply-adds
// for complex data; single-precision products summed in double for real data.
TEST(Convolution, RoundingRulesOnManyInputs) {
    std::mt19937 rng(3);
    for (int m : {1, 2, 7, 8, 9, 49, 128}) {
        // Wide exponent ranges (down to subnormal floats), so that any change of
        // rounding would show.
        std::vector<float> h = randomFloats(m, rng);
        for (int k = 0; k < m; k += 3) h[k] = std::ldexp(h[k], static_cast<int>(rng() % 240) - 140);
        std::vector<C> xc = randomComplex(2000, rng);
        std::vector<float> xr = randomFloats(2000, rng, 1e3f);
        for (size_t i = 0; i < xc.size(); i += 5) xc[i] *= std::ldexp(1.0f, static_cast<int>(rng() % 240) - 140);
        const auto yc = convC(xc, h);
        const auto yr = convR(xr, h);
        ASSERT_EQ(yc.size(), xc.size() - m + 1);
        ASSERT_EQ(yr.size(), xr.size() - m + 1);
        bool sameAsSinglePrecisionComplex = true;
        for (size_t i = 0; i < yc.size(); ++i) {
            double re = 0, im = 0, r = 0;
            float fr = 0, fi = 0;
            for (int k = 0; k < m; ++k) {
                re = std::fma(static_cast<double>(xc[i + k].real()), static_cast<double>(h[k]), re);
                im = std::fma(static_cast<double>(xc[i + k].imag()), static_cast<double>(h[k]), im);
                r += static_cast<double>(h[k] * xr[i + k]);
                fr = fr + xc[i + k].real() * h[k];
                fi = fi + xc[i + k].imag() * h[k];
            }
            ASSERT_EQ(yc[i], C(static_cast<float>(re), static_cast<float>(im))) << m << " " << i;
            ASSERT_EQ(yr[i], static_cast<float>(r)) << m << " " << i;
            if (m > 2 && (fr != yc[i].real() || fi != yc[i].imag())) sameAsSinglePrecisionComplex = false;
        }
        if (m > 2) {
            EXPECT_FALSE(sameAsSinglePrecisionComplex) << "inputs too tame to tell roundings apart";
        }
    }
}

TEST(Convolution, IndependentOfThreadCount) {
    std::mt19937 rng(4);
    const auto xc = randomComplex(10007, rng);
    const auto xr = randomFloats(10007, rng);
    const auto h = randomFloats(49, rng);
    const int saved = omp_get_max_threads();
    omp_set_num_threads(1);
    const auto c1 = convC(xc, h);
    const auto r1 = convR(xr, h);
    omp_set_num_threads(2);
    const auto c2 = convC(xc, h);
    const auto r2 = convR(xr, h);
    omp_set_num_threads(3);
    const auto c3 = convC(xc, h);
    omp_set_num_threads(saved);
    EXPECT_EQ(c1, c2);
    EXPECT_EQ(c1, c3);
    EXPECT_EQ(r1, r2);
}

}  // namespace
