// resamplePeriodic, the block-parallel driver of periodicResampler.h: each
// block of outputs fills the window of input it reads into its thread's own
// scratch (allocated before the parallel region) and runs the kernel on it.
#pragma once

#include <omp.h>

#include <algorithm>

#include "blockPipeline.h"

namespace periodic {
constexpr int64_t kBlock = 2048;             // outputs per block
constexpr int64_t kWorkPerThread = 1 << 21;  // multiply-adds below which one thread does all
}  // namespace periodic

inline int64_t periodicWindow(const PeriodicResampler& resampler, int64_t count) {
    const int64_t block = periodic::kBlock;
    // Every block's window is at most one sample longer than the first
    // full one's (its start rounds down).
    const int64_t last = std::min(count, block);
    return resampler.windowEnd(last) - resampler.windowStart(0) + 2;
}

inline int periodicTeam(const PeriodicResampler& resampler, int64_t count) {
    return teamNowFor(count * resampler.costPerOutput(), periodic::kWorkPerThread);
}

template <class Fill>
int resamplePeriodic(const PeriodicResampler& resampler, int64_t count, Fill fill, std::complex<float>* out) {
    if (count <= 0) return 0;
    const int64_t block = periodic::kBlock;
    const int64_t blocks = (count + block - 1) / block;
    const int64_t window = periodicWindow(resampler, count);
    const int team = periodicTeam(resampler, count);
    const size_t scratch = static_cast<size_t>(window) * static_cast<size_t>(team);
    Buffer<std::complex<float>> windows(scratch);
    if (!windows) return outOfMemory<std::complex<float>>(-3, scratch, "resampling windows");
#pragma omp parallel num_threads(team) if (team > 1)
    {
        std::complex<float>* w = windows.get() + static_cast<size_t>(window) * omp_get_thread_num();
#pragma omp for schedule(static)
        for (int64_t b = 0; b < blocks; ++b) {
            const int64_t first = b * block, last = std::min(count, first + block);
            const int64_t a = resampler.windowStart(first), e = resampler.windowEnd(last);
            fill(a, std::min(e, a + window), w);
            resampler.run(w, a, first, last, out + first);
        }
    }
    return 0;
}
