// FSK from the levels in blocks, against the chain it replaces: the
// levels' train through conv2_real, FarrowInterp_real and the running phase
// sum, for each variant and 1, 2 and 3 threads.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "fskPhase.h"
#include "genSignalClass.h"
#include "kernelVariants.h"

namespace {

using C = std::complex<float>;

std::vector<C> chain(const FskJob& job) {
    GenSignalClass obj;
    std::vector<float> train(static_cast<size_t>(job.symbols) * job.sps, 0.0f);
    for (int j = 0; j < job.symbols; ++j) train[static_cast<size_t>(j) * job.sps] = job.levels[j];
    float* f = nullptr;
    int L = 0;
    obj.conv2_real(train.data(), static_cast<int>(train.size()), job.taps, job.tapCount, &f, &L);
    float* g = nullptr;
    int K = 0;
    obj.FarrowInterp_real(f, L, job.outRate, job.inRate, &g, &K);
    std::free(f);
    std::vector<C> out(K);
    double sum = 0;
    for (int k = 0; k < K; ++k) {
        sum += g[k];
        const double phi = job.phaseStep * sum;
        out[k] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }
    std::free(g);
    return out;
}

class FskPhase : public testing_support::KernelVariantTest {};

TEST_P(FskPhase, EqualsTheTrainConvolutionResamplerAndRunningSum) {
    std::mt19937 rng(41);
    struct Case {
        int sps, taps, symbols;
        double outRate, inRate;
    };
    std::vector<Case> cases;
    for (int sps = 1; sps <= 16; ++sps)
        for (int taps : {1, sps + 1, 6 * sps + 1})
            for (double out : {1.0, 1.25, 0.3, 0.045}) cases.push_back({sps, taps, 23, out, 1.0});
    cases.push_back({8, 49, 4000, 8e6, 8e6});
    cases.push_back({8, 49, 4000, 10e6, 8e6});
    cases.push_back({8, 49, 4000, 7e6, 8e6});
    cases.push_back({8, 49, 4000, 0.3e6, 8e6});
    const int saved = omp_get_max_threads();
    for (const Case& c : cases) {
        std::vector<float> levels(c.symbols), taps(c.taps);
        for (float& v : levels) v = static_cast<float>(2 * static_cast<int>(rng() % 4) - 3);
        for (float& v : taps) v = std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
        // A step large enough that the phase wraps many times.
        const FskJob job{levels.data(), c.symbols, c.sps, taps.data(), c.taps, c.outRate, c.inRate, 0.7};
        const auto want = chain(job);
        ASSERT_EQ(fskLength(job), static_cast<int>(want.size()));
        for (int threads : {1, 2, 3}) {
            omp_set_num_threads(threads);
            std::vector<C> got(want.size() + 1, C(-9.0f, -9.0f));
            ASSERT_EQ(fskModulate(job, got.data()), static_cast<int>(want.size()));
            ASSERT_EQ(got.back(), C(-9.0f, -9.0f)) << "wrote past the result";
            got.pop_back();
            ASSERT_TRUE(std::memcmp(got.data(), want.data(), sizeof(C) * want.size()) == 0)
                << "sps " << c.sps << " taps " << c.taps << " symbols " << c.symbols << " rates " << c.outRate << "/"
                << c.inRate << " threads " << threads;
        }
    }
    omp_set_num_threads(saved);
}

// At equal rates the resampler is skipped, but a frequency that overflows
// must still meet the resampler's zero weights as NaN from the output
// before it on, as in the chain.
TEST_P(FskPhase, OverflowingFrequenciesAtEqualRatesKeepTheChainsOutcome) {
    std::vector<float> levels(400, 1.0f), taps(9, 1.0f);
    levels[250] = 3.0f;
    taps[4] = 2e38f;  // 3 * 2e38 overflows a float, 1 * 2e38 does not
    const FskJob job{levels.data(), 400, 4, taps.data(), 9, 4000, 4000, 0.1};
    const auto want = chain(job);
    std::vector<C> got(want.size());
    ASSERT_EQ(fskModulate(job, got.data()), static_cast<int>(want.size()));
    int firstNaN = -1;
    for (size_t k = 0; k < want.size(); ++k) {
        ASSERT_EQ(std::isnan(got[k].real()), std::isnan(want[k].real())) << k;
        if (!std::isnan(want[k].real())) {
            ASSERT_EQ(got[k], want[k]) << k;
        }
        if (firstNaN < 0 && std::isnan(want[k].real())) firstNaN = static_cast<int>(k);
    }
    // Level 250 sits at train sample 1000, which the big tap brings to
    // frequency 996 alone; output 994 already reads that as its p2.
    EXPECT_EQ(firstNaN, 994);
}

TEST_P(FskPhase, FilterLongerThanTheTrainOrBadRatesGiveNothing) {
    const float levels[3] = {-1, 1, -1}, taps[7] = {1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(fskLength({levels, 3, 2, taps, 7, 1, 1, 0.1}), -1);
    EXPECT_EQ(fskLength({levels, 3, 2, taps, 6, 1, 1, 0.1}), 1);
    EXPECT_EQ(fskLength({levels, 3, 2, taps, 3, 1, 0, 0.1}), -1);
    C out[1];
    EXPECT_EQ(fskModulate({levels, 3, 2, taps, 3, -1, 1, 0.1}, out), -1);
}

INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(FskPhase);

}  // namespace
