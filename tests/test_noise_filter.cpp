// The AWGN filter kernels against the complex convolution on random raw
// noise: every output count from 1 to 40 and a long window, each variant.
#include <gtest/gtest.h>

#include <complex>
#include <random>
#include <vector>

#include "genSignalClass.h"
#include "kernelVariants.h"
#include "noiseFilter.h"
#include "testSupport.h"

namespace {

using testing_support::KernelVariantTest;
using testing_support::sameBits;
using C = std::complex<float>;

class NoiseFilter : public KernelVariantTest {};

TEST_P(NoiseFilter, EqualsTheConvolutionForEveryCount) {
    std::mt19937 rng(3);
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    std::vector<float> h(noise::kTaps);
    std::vector<double> hd(noise::kTaps);
    for (int k = 0; k < noise::kTaps; ++k) hd[k] = h[k] = gauss(rng) * 0.1f;
    std::vector<int> counts;
    for (int c = 1; c <= 40; ++c) counts.push_back(c);
    counts.push_back(5003);
    for (int count : counts) {
        std::vector<C> raw(static_cast<size_t>(count) + noise::kTaps - 1);
        for (C& v : raw) v = {gauss(rng), gauss(rng)};
        std::vector<double> window;
        for (const C& v : raw) {
            window.push_back(v.real());
            window.push_back(v.imag());
        }
        std::vector<C> expected(count), got(count);
        int n = 0;
        GenSignalClass obj;
        obj.conv2_complex(raw.data(), static_cast<int>(raw.size()), h.data(), noise::kTaps, expected.data(), &n);
        noise::filterWindow(window.data(), hd.data(), count, got.data());
        ASSERT_TRUE(sameBits(got, expected)) << count << " outputs";
    }
}

INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(NoiseFilter);

}  // namespace
