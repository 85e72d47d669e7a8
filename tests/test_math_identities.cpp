// What the faster generators assume of the C library's math and of IEEE
// arithmetic, checked on many arguments: sincos gives the bits of cos and
// sin called apart; cos is even and sin odd to the bit; dividing a float by
// a power of two equals multiplying by its reciprocal; a complex product
// written out equals the operator.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "complexProduct.h"
#include "phaseSlots.h"

namespace {

template <class T>
bool sameBits(T a, T b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Arguments over every scale the generators reach (phases that are never
// wrapped grow to 1e9 and beyond), both signs, and the small ones.
std::vector<double> arguments() {
    std::mt19937_64 rng(12);
    std::vector<double> x = {0.0, -0.0, 1e-300, M_PI, M_PI / 2, 2 * M_PI, 1e22, -1e22, 105414350.0, 2.0e9};
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    std::uniform_int_distribution<int> exponent(-30, 60);
    while (x.size() < 600000) {
        const double v = std::ldexp(mantissa(rng), exponent(rng));
        x.push_back(rng() & 1 ? v : -v);
    }
    return x;
}

TEST(MathIdentities, SincosIsCosAndSinCalledApart) {
    for (double x : arguments()) {
        // Through volatile, so that the compiler cannot merge the two calls.
        volatile double a = x, b = x;
        const double c = std::cos(a), s = std::sin(b);
        double sn, cn;
        ::sincos(x, &sn, &cn);
        ASSERT_TRUE(sameBits(c, cn) && sameBits(s, sn)) << x;
    }
}

TEST(MathIdentities, PhasorsInPlaceAreTheRoundedCosAndSin) {
    const std::vector<double> x = arguments();
    std::vector<std::complex<float>> slots(x.size());
    for (size_t i = 0; i < x.size(); ++i) storePhase(&slots[i], x[i]);
    phasorsFromPhases(slots.data(), slots.size());
    for (size_t i = 0; i < x.size(); ++i) {
        volatile double a = x[i], b = x[i];
        const std::complex<float> expected(static_cast<float>(std::cos(a)), static_cast<float>(std::sin(b)));
        ASSERT_TRUE(sameBits(slots[i], expected)) << x[i];
    }
}

// The multitone generator forms the tone at -f from the tone at +f.
TEST(MathIdentities, CosineIsEvenAndSineOddToTheBit) {
    for (double x : arguments()) {
        volatile double a = x, b = -x, c = x, d = -x;
        ASSERT_TRUE(sameBits(std::cos(static_cast<double>(a)), std::cos(static_cast<double>(b)))) << x;
        ASSERT_TRUE(sameBits(-std::sin(static_cast<double>(c)), std::sin(static_cast<double>(d)))) << x;
    }
}

// The inverse FFT scales by 1/n as a product. Includes subnormal results,
// where both forms round the same exact value once.
TEST(MathIdentities, DividingByAPowerOfTwoIsMultiplyingByItsReciprocal) {
    std::mt19937 rng(5);
    std::vector<float> x = {0.0f, -0.0f, FLT_MIN, FLT_TRUE_MIN, FLT_MAX, -FLT_MAX, 1.0f, 3.0f, 1e-38f, 1.5e-45f};
    while (x.size() < 200000) {
        uint32_t bits = static_cast<uint32_t>(rng());
        if ((bits & 0x7F800000u) == 0x7F800000u) continue;  // no NaN or infinity
        float v;
        std::memcpy(&v, &bits, 4);
        x.push_back(v);
    }
    for (int k = 0; k <= 30; ++k) {
        const float n = static_cast<float>(int64_t{1} << k);
        const float inverse = 1.0f / n;
        for (float v : x) ASSERT_TRUE(sameBits(v / n, v * inverse)) << v << " / 2^" << k;
    }
}

// The split transform's twiddles: the product written out is the complex
// operator's for finite values, over every scale, subnormals and zeros of
// either sign included, in both precisions.
template <class T, class Bits>
void expectProductsOfTheOperator(uint64_t seed) {
    std::mt19937_64 rng(seed);
    auto finite = [&] {
        for (;;) {
            const Bits bits = static_cast<Bits>(rng());
            T v;
            std::memcpy(&v, &bits, sizeof v);
            if (std::isfinite(v)) return v;
        }
    };
    std::uniform_real_distribution<T> unit(-1, 1);
    for (int i = 0; i < 400000; ++i) {
        // Half on the unit scale of samples and twiddles, half on any finite bits.
        const bool wide = i % 2 == 1;
        const std::complex<T> x(wide ? finite() : unit(rng), wide ? finite() : unit(rng));
        const std::complex<T> t(wide ? finite() : unit(rng), i % 7 == 0 ? T(0) : wide ? finite() : unit(rng));
        const std::complex<T> literal = x * t, written = times(x, t);
        if (std::isnan(literal.real()) && std::isnan(literal.imag())) continue;  // the operator's own recovery
        ASSERT_TRUE(sameBits(literal.real(), written.real()) && sameBits(literal.imag(), written.imag()))
            << x << " * " << t;
    }
}

TEST(MathIdentities, TheProductWrittenOutIsTheComplexOperators) {
    expectProductsOfTheOperator<float, uint32_t>(3);
    expectProductsOfTheOperator<double, uint64_t>(4);
}

}  // namespace
