// The kernel variant: chosen at load time, forced by tests, and kept generic
// by GENSIGNAL_KERNELS=generic (CTest runs part of the suite that way).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "cpuDispatch.h"

namespace {

TEST(KernelDispatch, ForcingSwitchesAndTheCpuDecidesWhatIsAvailable) {
    const KernelVariant saved = activeKernels();
    EXPECT_TRUE(forceKernels(KernelVariant::generic));
    EXPECT_EQ(activeKernels(), KernelVariant::generic);
    EXPECT_FALSE(useAvx2());
    EXPECT_EQ(forceKernels(KernelVariant::avx2), cpuHasAvx2Fma());
    EXPECT_EQ(useAvx2(), cpuHasAvx2Fma());
    forceKernels(saved);
}

TEST(KernelDispatch, LoadTimeChoiceFollowsTheEnvironmentAndTheCpu) {
    const char* forced = std::getenv("GENSIGNAL_KERNELS");
    if (forced && std::strcmp(forced, "generic") == 0)
        EXPECT_EQ(activeKernels(), KernelVariant::generic);
    else
        EXPECT_EQ(activeKernels(), cpuHasAvx2Fma() ? KernelVariant::avx2 : KernelVariant::generic);
}

}  // namespace
