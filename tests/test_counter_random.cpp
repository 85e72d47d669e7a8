// The counter-based generator: Philox 4x32-10's published known-answer
// vectors, the eight-lane kernel equal to the one-block function in either
// kernel set, and the ziggurat's normals by their moments and tail.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "counterRandom.h"
#include "kernelVariants.h"

namespace {

TEST(CounterRandom, PhiloxMatchesTheKnownAnswerVectors) {
    struct Vector {
        uint32_t counter[4], key[2], expected[4];
    } const vectors[] = {
        {{0, 0, 0, 0}, {0, 0}, {0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}},
        {{0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff},
         {0xffffffff, 0xffffffff},
         {0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}},
        {{0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344},
         {0xa4093822, 0x299f31d0},
         {0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}},
    };
    for (const Vector& v : vectors) {
        const CounterBlock b = philox4x32(v.counter, v.key);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(b.w[i], v.expected[i]) << "word " << i;
    }
}

class CounterBlocks : public testing_support::KernelVariantTest {};

TEST_P(CounterBlocks, EqualTheBlockOfEachIndexAcrossWordBoundaries) {
    std::vector<CounterBlock> run(301);
    for (uint64_t first : {uint64_t{0}, uint64_t{0xfffffff9}, uint64_t{0x1fffffffc}, uint64_t{0xfffffffffffffff0}}) {
        counterBlocks(0x0123456789abcdefULL, 4, 7, first, static_cast<int>(run.size()), run.data());
        for (size_t j = 0; j < run.size(); ++j) {
            const CounterBlock one = counterBlock(0x0123456789abcdefULL, 4, 7, first + j);
            ASSERT_EQ(std::memcmp(&one, &run[j], sizeof one), 0) << "index " << first + j;
        }
    }
}
INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(CounterBlocks);

TEST(CounterRandom, NormalsHaveGaussianMomentsAndTails) {
    constexpr int kValues = 1 << 20;
    for (uint64_t seed : {1ull, 2ull, 0xdeadbeefull}) {
        double sum[2] = {}, square[2] = {}, fourth[2] = {};
        int beyondThree = 0;
        for (int i = 0; i < kValues; ++i) {
            float re, im;
            complexGaussian(seed, 9, 0, static_cast<uint64_t>(i), &re, &im);
            const double v[2] = {re * std::sqrt(2.0), im * std::sqrt(2.0)};  // standard normal rails
            for (int r = 0; r < 2; ++r) {
                sum[r] += v[r];
                square[r] += v[r] * v[r];
                fourth[r] += v[r] * v[r] * v[r] * v[r];
                beyondThree += std::fabs(v[r]) > 3;
            }
        }
        for (int r = 0; r < 2; ++r) {
            const double mean = sum[r] / kValues, variance = square[r] / kValues - mean * mean;
            EXPECT_NEAR(mean, 0, 0.005) << "seed " << seed;
            EXPECT_NEAR(variance, 1, 0.006) << "seed " << seed;
            EXPECT_NEAR(fourth[r] / kValues / (variance * variance) - 3, 0, 0.03) << "excess kurtosis, seed " << seed;
        }
        // P(|x| > 3) = 0.0026998 for each rail.
        EXPECT_NEAR(beyondThree / (2.0 * kValues), 0.0026998, 0.0026998 * 0.04) << "seed " << seed;
    }
}

TEST(CounterRandom, ADrawDependsOnItsPositionOnly) {
    float a, b, c, d;
    complexGaussian(5, 4, 0, 1000, &a, &b);
    for (int i = 0; i < 3; ++i) complexGaussian(5, 4, 0, static_cast<uint64_t>(i), &c, &d);
    complexGaussian(5, 4, 0, 1000, &c, &d);
    EXPECT_EQ(a, c);
    EXPECT_EQ(b, d);
    complexGaussian(5, 3, 0, 1000, &c, &d);  // another stage draws other bits
    EXPECT_NE(a, c);
}

}  // namespace
