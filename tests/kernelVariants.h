// Runs a parameterised test once per kernel variant (generic, AVX2), the
// dispatched entry points switched to that variant for the test's length.
// The AVX2 run is skipped on a CPU without AVX2 and FMA.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "cpuDispatch.h"

namespace testing_support {

class KernelVariantTest : public ::testing::TestWithParam<KernelVariant> {
protected:
    void SetUp() override {
        saved_ = activeKernels();
        if (!forceKernels(GetParam())) GTEST_SKIP() << "the CPU lacks AVX2 or FMA";
    }
    void TearDown() override { forceKernels(saved_); }

private:
    KernelVariant saved_ = KernelVariant::generic;
};

inline std::string variantName(const ::testing::TestParamInfo<KernelVariant>& info) {
    return info.param == KernelVariant::avx2 ? "avx2" : "generic";
}

}  // namespace testing_support

#define INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(Suite)                                                           \
    INSTANTIATE_TEST_SUITE_P(Variants, Suite, ::testing::Values(KernelVariant::generic, KernelVariant::avx2), \
                             testing_support::variantName)
