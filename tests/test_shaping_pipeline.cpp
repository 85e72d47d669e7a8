// Shaping from the points in blocks, against the chain it replaces: the
// zero-stuffed train through conv2_complex, the cyclic quadrature delay and
// FarrowInterp, for each variant and 1, 2 and 3 threads.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "farrow.h"
#include "genSignalClass.h"
#include "kernelVariants.h"
#include "shapingPipeline.h"

namespace {

using C = std::complex<float>;

struct Case {
    int sps, taps, symbols, delay;
    bool resample;
    double outRate, inRate;
};

// The chain as the generators ran it before.
std::vector<C> chain(const Case& c, const std::vector<C>& points, const std::vector<float>& h) {
    GenSignalClass obj;
    std::vector<C> train(static_cast<size_t>(c.symbols) * c.sps, C(0.0f, 0.0f));
    for (int j = 0; j < c.symbols; ++j) train[static_cast<size_t>(j) * c.sps] = points[j];
    std::vector<C> shaped(train.size());
    int L = 0;
    obj.conv2_complex(train.data(), static_cast<int>(train.size()), h.data(), c.taps, shaped.data(), &L);
    shaped.resize(L);
    if (c.delay > 0) {
        std::vector<C> offset(L);
        for (int i = 0; i < L; ++i) offset[i] = {shaped[i].real(), shaped[(i + L - c.delay) % L].imag()};
        shaped.swap(offset);
    }
    if (!c.resample) return shaped;
    std::vector<C> out(std::max(1, farrowOutputLength(L, c.outRate, c.inRate)));
    int K = 0;
    obj.FarrowInterp(shaped.data(), L, c.outRate, c.inRate, out.data(), &K);
    out.resize(K);
    return out;
}

class ShapingPipeline : public testing_support::KernelVariantTest {};

TEST_P(ShapingPipeline, EqualsTheTrainConvolutionDelayAndResampler) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<Case> cases;
    for (int sps = 1; sps <= 16; ++sps) {
        for (int taps : {1, sps + 1, 2 * (6 * sps / 2) + 1, 6 * sps + 1}) {
            for (int delay : {0, sps / 2}) {
                cases.push_back({sps, taps, 9, delay, false, 1, 1});
                cases.push_back({sps, taps, 57, delay, true, 1.25, 1});
                cases.push_back({sps, taps, 57, delay, true, 1, 3.3});
                cases.push_back({sps, taps, 57, delay, true, 1, 21.7});
            }
        }
    }
    // Long enough to be shared among threads, at the jobs' settings.
    for (int delay : {0, 4}) {
        cases.push_back({8, 49, 3000, delay, false, 1, 1});
        cases.push_back({8, 49, 3000, delay, true, 10e6, 8e6});
        cases.push_back({8, 49, 3000, delay, true, 8e6, 10e6});
        cases.push_back({4, 25, 5000, delay, true, 1e6, 3 * 1e6 + 0.5});
        cases.push_back({4, 25, 5000, delay, true, 1e6, 17.3e6});
    }
    const int saved = omp_get_max_threads();
    for (const Case& c : cases) {
        std::vector<C> points(c.symbols);
        for (C& p : points) p = {d(rng), d(rng)};
        std::vector<float> h(c.taps);
        for (float& v : h) v = d(rng);
        const auto want = chain(c, points, h);
        const ShapingJob job{points.data(), c.symbols,  c.sps,     h.data(), c.taps,
                             c.delay,       c.resample, c.outRate, c.inRate};
        ASSERT_EQ(shapedLength(job), static_cast<int>(want.size()));
        for (int threads : {1, 2, 3}) {
            omp_set_num_threads(threads);
            std::vector<C> got(want.size() + 1, C(-9.0f, -9.0f));
            ASSERT_EQ(shapeAndResample(job, got.data()), static_cast<int>(want.size()));
            ASSERT_EQ(got.back(), C(-9.0f, -9.0f)) << "wrote past the result";
            got.pop_back();
            ASSERT_TRUE(std::memcmp(got.data(), want.data(), sizeof(C) * want.size()) == 0)
                << "sps " << c.sps << " taps " << c.taps << " symbols " << c.symbols << " delay " << c.delay
                << " rates " << c.outRate << "/" << c.inRate << " threads " << threads;
        }
    }
    omp_set_num_threads(saved);
}

TEST_P(ShapingPipeline, RefusesWhatTheChainCannotDo) {
    const C points[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    const float h[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    // 4 symbols at 2 samples: 8 train samples, 9 taps leave nothing.
    EXPECT_EQ(shapedLength({points, 4, 2, h, 9, 0, false, 1, 1}), -1);
    // The delay must stay within the shaped samples.
    EXPECT_EQ(shapedLength({points, 4, 2, h, 3, 6, false, 1, 1}), -1);
    EXPECT_EQ(shapedLength({points, 4, 2, h, 3, -1, false, 1, 1}), -1);
    EXPECT_EQ(shapedLength({points, 4, 2, h, 3, 5, false, 1, 1}), 6);
    // Rates the resampler refuses.
    EXPECT_EQ(shapedLength({points, 4, 2, h, 3, 0, true, 0, 1}), -1);
    C out[8];
    EXPECT_EQ(shapeAndResample({points, 4, 2, h, 3, 0, true, 1, std::nan("")}, out), -1);
}

INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(ShapingPipeline);

}  // namespace
