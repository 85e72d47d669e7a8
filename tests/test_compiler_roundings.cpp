// Roundings to float that the compiler must keep. GCC 12's basic-block
// vectoriser stores the unrounded doubles for this pattern; the build turns
// that pass off, and this test fails if it comes back.
#include <gtest/gtest.h>

#include <cmath>

namespace {

__attribute__((noinline)) void roundPairIntoDoubles(double u, double v, double* out) {
    const double f = std::sqrt(u);
    out[0] = static_cast<float>(u * f);
    out[1] = static_cast<float>(v * f);
}

TEST(CompilerRoundings, APairRoundedToFloatAndStoredAsDoublesKeepsTheRounding) {
    volatile double u = 2.0, v = 3.0;  // opaque to constant folding
    double out[2];
    roundPairIntoDoubles(u, v, out);
    const float expected0 = static_cast<float>(2.0 * std::sqrt(2.0));
    const float expected1 = static_cast<float>(3.0 * std::sqrt(2.0));
    EXPECT_EQ(out[0], static_cast<double>(expected0));
    EXPECT_EQ(out[1], static_cast<double>(expected1));
}

}  // namespace
