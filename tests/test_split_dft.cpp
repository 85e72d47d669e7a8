// The split transform against one plain transform of the whole length, in
// either precision and direction, at lengths that split and lengths that do
// not; a walk over the bins finds their slots; a forward plan's inverse
// brings the time side back; and the bits do not depend on the team.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "fourierTransform.h"
#include "splitDft.h"

namespace {

template <class Real>
class SplitDftTest : public ::testing::Test {};

using Precisions = ::testing::Types<float, double>;
TYPED_TEST_SUITE(SplitDftTest, Precisions);

constexpr int64_t kLengths[] = {4096, 12288, 1000, 65536 * 3, 9984};

template <class Real>
std::vector<std::complex<Real>> signal(int64_t n) {
    std::vector<std::complex<Real>> x(static_cast<size_t>(n));
    for (int64_t j = 0; j < n; ++j)
        x[j] = {static_cast<Real>(std::sin(0.37 * j) + 0.01 * (j % 17)), static_cast<Real>(std::cos(0.11 * j * j))};
    return x;
}

template <class Real>
double tolerance() {
    return sizeof(Real) == 4 ? 2e-6 : 1e-13;
}

TYPED_TEST(SplitDftTest, EqualsOneTransformInEitherDirection) {
    using Cx = std::complex<TypeParam>;
    for (int64_t n : kLengths) {
        for (DftDirection direction : {DftDirection::forward, DftDirection::backward}) {
            const std::vector<Cx> x = signal<TypeParam>(n);
            std::vector<Cx> plainIn = x, plainOut(static_cast<size_t>(n));
            SplitDft<TypeParam> split;
            std::vector<Cx> input = x;
            ASSERT_EQ(split.plan(n, direction, input.data(), 2), 0);
            Dft<TypeParam> plain;
            ASSERT_TRUE(plain.plan(static_cast<int>(n), plainIn.data(), plainOut.data(), direction));
            // Backward takes its bins at their slots; forward leaves them there.
            if (direction == DftDirection::backward)
                for (int64_t k = 0; k < n; ++k) input[split.binSlot(k)] = x[k];
            plain.execute(plainIn.data(), plainOut.data());
            split.execute(input.data());
            double worst = 0, scale = 0;
            for (int64_t k = 0; k < n; ++k) {
                const Cx got = direction == DftDirection::forward ? input[split.binSlot(k)] : input[k];
                ASSERT_EQ(split.slotBin(split.binSlot(k)), k);
                worst = std::max(worst, static_cast<double>(std::abs(got - plainOut[k])));
                scale = std::max(scale, static_cast<double>(std::abs(plainOut[k])));
            }
            EXPECT_LT(worst / scale, tolerance<TypeParam>()) << "n = " << n;
        }
    }
}

TYPED_TEST(SplitDftTest, AWalkOverTheBinsFindsEachBinsSlotAndWraps) {
    for (int64_t n : kLengths) {
        for (DftDirection direction : {DftDirection::forward, DftDirection::backward}) {
            std::vector<std::complex<TypeParam>> x(static_cast<size_t>(n));
            SplitDft<TypeParam> split;
            ASSERT_EQ(split.plan(n, direction, x.data(), 1), 0);
            for (int64_t start : {int64_t{0}, n / 3, n - 5}) {
                typename SplitDft<TypeParam>::BinWalk at(split, start);
                int64_t wrong = 0;
                for (int64_t i = 0; i < n + 7; ++i, at.next()) wrong += at.slot() != split.binSlot((start + i) % n);
                EXPECT_EQ(wrong, 0) << "n = " << n << " from " << start;
            }
        }
    }
}

TYPED_TEST(SplitDftTest, TheInverseOfAForwardPlanGivesTheTimeSideBack) {
    using Cx = std::complex<TypeParam>;
    for (int64_t n : kLengths) {
        const std::vector<Cx> x = signal<TypeParam>(n);
        std::vector<Cx> y = x;
        SplitDft<TypeParam> split;
        ASSERT_EQ(split.plan(n, DftDirection::forward, y.data(), 2, true), 0);
        split.execute(y.data());
        split.inverse(y.data());
        double worst = 0;
        for (int64_t j = 0; j < n; ++j)
            worst = std::max(worst, static_cast<double>(std::abs(y[j] / static_cast<TypeParam>(n) - x[j])));
        EXPECT_LT(worst, 10 * tolerance<TypeParam>()) << "n = " << n;
    }
}

TYPED_TEST(SplitDftTest, TheSameBitsOnOneThreadAsOnThree) {
    using Cx = std::complex<TypeParam>;
    const int64_t n = 65536 * 3;
    std::vector<Cx> one = signal<TypeParam>(n), three = one;
    SplitDft<TypeParam> a, b;
    ASSERT_EQ(a.plan(n, DftDirection::forward, one.data(), 1, true), 0);
    ASSERT_EQ(b.plan(n, DftDirection::forward, three.data(), 3, true), 0);
    a.execute(one.data());
    b.execute(three.data());
    EXPECT_EQ(one, three);
    a.inverse(one.data());
    b.inverse(three.data());
    EXPECT_EQ(one, three);
}

}  // namespace
