#include "cpuDispatch.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

KernelVariant chosenAtLoad() {
    const char* forced = std::getenv("GENSIGNAL_KERNELS");
    if (forced && std::strcmp(forced, "generic") == 0) return KernelVariant::generic;
    return cpuHasAvx2Fma() ? KernelVariant::avx2 : KernelVariant::generic;
}

// Written by forceKernels only; an atomic so that a switch in a test never
// races with a kernel call on another thread.
std::atomic<KernelVariant> g_variant{chosenAtLoad()};

}  // namespace

bool cpuHasAvx2Fma() {
#if GENSIGNAL_AVX2
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

KernelVariant activeKernels() { return g_variant.load(std::memory_order_relaxed); }

bool forceKernels(KernelVariant variant) {
    if (variant == KernelVariant::avx2 && !cpuHasAvx2Fma()) return false;
    g_variant.store(variant, std::memory_order_relaxed);
    return true;
}
