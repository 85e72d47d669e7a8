// Tones synthesised at whole cycles per buffer: the ideal tones to float
// precision, the same bits at any thread count and with either kernel
// variant; and the phase laws.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "kernelVariants.h"
#include "testSupport.h"
#include "tonePhases.h"
#include "toneSynthesis.h"

namespace {

using C = std::complex<float>;
constexpr double kPi = 3.141592653589793;

struct Tones {
    std::vector<int64_t> cycles;
    std::vector<double> phases;
    int64_t M;
    ToneSet set() const { return {cycles.data(), phases.data(), static_cast<int>(cycles.size()), M}; }
};

// N tones 2P cycles apart (even N: odd multiples of P), as a multitone lays them out.
Tones multitone(int N, int64_t P, int64_t M, TonePhases law) {
    Tones t;
    t.M = M;
    for (int k = 0; k < N; ++k) {
        t.cycles.push_back(N % 2 == 0 ? (2 * k - N + 1) * P : (k - (N - 1) / 2) * P);
        t.phases.push_back(tonePhase(law, k, N, 99));
    }
    return t;
}

std::vector<C> synthesized(const Tones& t) {
    std::vector<C> y(static_cast<size_t>(t.M));
    EXPECT_EQ(synthesizeTones(t.set(), y.data()), 0);
    return y;
}

TEST(ToneSynthesis, IsTheSumOfTheIdealTonesToFloatPrecision) {
    for (const Tones& t : {multitone(8, 5, 3072, TonePhases::newman), multitone(7, 3, 1001, TonePhases::random),
                           multitone(2, 1, 5, TonePhases::zero), multitone(64, 1, 5000, TonePhases::schroeder)}) {
        const std::vector<C> y = synthesized(t);
        double worst = 0;
        for (int64_t m = 0; m < t.M; ++m) {
            std::complex<double> ideal = 0;
            for (size_t k = 0; k < t.cycles.size(); ++k)
                ideal += std::polar(1.0, 2 * kPi * static_cast<double>(t.cycles[k]) * static_cast<double>(m) /
                                                 static_cast<double>(t.M) +
                                             t.phases[k]);
            worst = std::max(worst, std::abs(std::complex<double>(y[m]) - ideal));
        }
        // Float rounding of N terms of magnitude 1: far below a 16-bit step
        // of the peak (N / 32767).
        EXPECT_LT(worst, 2e-6 * static_cast<double>(t.cycles.size())) << t.cycles.size() << " tones";
    }
}

TEST(ToneSynthesis, RefusesTonesThatAreNotSymmetric) {
    Tones t = multitone(4, 1, 100, TonePhases::zero);
    t.cycles[3] += 1;
    std::vector<C> y(100);
    EXPECT_EQ(synthesizeTones(t.set(), y.data()), -1);
}

class ToneSynthesisBits : public testing_support::KernelVariantTest {};

TEST_P(ToneSynthesisBits, AgreeWithTheGenericKernelAtOneThread) {
    const Tones t = multitone(64, 3, 200000, TonePhases::newman);
    const int saved = omp_get_max_threads();
    const KernelVariant variant = activeKernels();
    forceKernels(KernelVariant::generic);
    omp_set_num_threads(1);
    const std::vector<C> reference = synthesized(t);
    forceKernels(variant);
    omp_set_num_threads(3);
    const std::vector<C> got = synthesized(t);
    omp_set_num_threads(saved);
    EXPECT_TRUE(testing_support::sameBits(got, reference));
}

INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(ToneSynthesisBits);

TEST(TonePhases, FollowTheirLaws) {
    const int N = 64;
    for (int k = 0; k < N; ++k) {
        EXPECT_EQ(tonePhase(TonePhases::zero, k, N, 1), 0.0);
        // Reduced modulo 2 pi first: the same angle up to whole turns.
        EXPECT_NEAR(std::remainder(tonePhase(TonePhases::newman, k, N, 1) - kPi * k * k / N, 2 * kPi), 0, 1e-12);
        EXPECT_NEAR(std::remainder(tonePhase(TonePhases::schroeder, k, N, 1) + kPi * k * (k + 1) / N, 2 * kPi), 0,
                    1e-12);
        const double r = tonePhase(TonePhases::random, k, N, 1);
        EXPECT_GE(r, 0);
        EXPECT_LT(r, 2 * kPi);
    }
    // A seed gives the same phases every time, another seed others; tone k
    // keeps its phase whatever the tone count.
    EXPECT_EQ(tonePhase(TonePhases::random, 5, 64, 7), tonePhase(TonePhases::random, 5, 8, 7));
    EXPECT_NE(tonePhase(TonePhases::random, 5, 64, 7), tonePhase(TonePhases::random, 5, 64, 8));
}

}  // namespace
