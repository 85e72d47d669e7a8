// Which set of kernels runs: the AVX2+FMA ones when the CPU has both, the
// generic ones otherwise. Both give the same bits; the choice is made once,
// when the library loads.
#pragma once

enum class KernelVariant { generic, avx2 };

// The variant in use. GENSIGNAL_KERNELS=generic in the environment keeps the
// generic kernels on any CPU.
KernelVariant activeKernels();

// For tests and benchmarks: switch variant. Returns false, and changes
// nothing, when the CPU cannot run it.
bool forceKernels(KernelVariant variant);

// True when the CPU runs AVX2 and FMA instructions.
bool cpuHasAvx2Fma();

inline bool useAvx2() { return activeKernels() == KernelVariant::avx2; }
