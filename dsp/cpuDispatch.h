// Which set of kernels runs: the AVX2+FMA ones when the CPU has both, the
// generic ones otherwise. Both give the same bits; the choice is made once,
// when the library loads. On other architectures only the generic kernels
// exist (GENSIGNAL_AVX2 is then 0).
#pragma once

#if defined(__x86_64__)
#define GENSIGNAL_AVX2 1
// Compiles a function for AVX2 and FMA, whatever the build's baseline.
#define GENSIGNAL_AVX2_TARGET __attribute__((target("avx2,fma")))
#else
#define GENSIGNAL_AVX2 0
#endif

// Marks a lambda whose body runForKernels compiles once per variant.
#define GENSIGNAL_KERNEL_BODY __attribute__((always_inline))

enum class KernelVariant { generic, avx2 };

// The variant in use. GENSIGNAL_KERNELS=generic in the environment keeps the
// generic kernels on any CPU.
KernelVariant activeKernels();

// For tests and benchmarks: switch variant. Returns false, and changes
// nothing, when the CPU cannot run it.
bool forceKernels(KernelVariant variant);

// True when the CPU runs AVX2 and FMA instructions.
bool cpuHasAvx2Fma();

inline bool useAvx2() { return GENSIGNAL_AVX2 && activeKernels() == KernelVariant::avx2; }

namespace kernels {
template <class Body, class... Args>
void generic(Body& body, Args... args) {
    body(args...);
}
#if GENSIGNAL_AVX2
template <class Body, class... Args>
GENSIGNAL_AVX2_TARGET void avx2(Body& body, Args... args) {
    body(args...);
}
#endif
}  // namespace kernels

// Runs body(args...) compiled for the active variant: a lambda marked
// GENSIGNAL_KERNEL_BODY is inlined into each, so that a std::fma in it is
// one instruction where the CPU has one (the same bits either way).
template <class Body, class... Args>
void runForKernels(Body& body, Args... args) {
#if GENSIGNAL_AVX2
    if (useAvx2()) return kernels::avx2(body, args...);
#endif
    kernels::generic(body, args...);
}
