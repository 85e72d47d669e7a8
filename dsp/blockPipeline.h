// A serial pass and a parallel pass over the same blocks: the calling
// thread runs `serial(b)` for b = 0, 1, 2, ... in order, and every thread of
// the team runs `parallel(b)` on blocks whose serial pass is done (and that
// of `lookahead` further blocks). Used where a recurrence has to run in
// order (a phase sum, the noise draws) but the costly work after it does not.
//
// Which thread runs `parallel(b)` varies from run to run; the result does
// not, as long as `parallel(b)` depends only on its block.
#pragma once

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "sharedCores.h"

// The team for a call of `work` units when each thread should get at least
// `perThread`: 1 below that, so small calls never start a region.
inline int teamFor(int64_t work, int64_t perThread) {
    const int most = omp_get_max_threads();
    const int64_t useful = work / (perThread > 0 ? perThread : 1);
    return useful < 2 ? 1 : (useful < most ? static_cast<int>(useful) : most);
}

// The same, on no more than the cores other processes leave free now: the
// team a region opens with.
inline int teamNowFor(int64_t work, int64_t perThread) { return teamOnFreeCores(teamFor(work, perThread)); }

template <class Serial, class Parallel>
void runBlockPipeline(int64_t blocks, int team, int64_t lookahead, Serial serial, Parallel parallel) {
    std::atomic<int64_t> serialDone{0};  // blocks whose serial pass is complete
    std::atomic<int64_t> claimed{0};     // next block for the parallel pass
    // The parallel pass of block b may start once this many blocks are done.
    auto needed = [&](int64_t b) { return b + 1 + lookahead < blocks ? b + 1 + lookahead : blocks; };
    // Takes and runs blocks while they are ready; with `wait`, waits for
    // them until every block is taken.
    auto work = [&](bool wait) {
        int idle = 0;
        for (;;) {
            const int64_t b = claimed.load(std::memory_order_relaxed);
            if (b >= blocks) return;
            if (serialDone.load(std::memory_order_acquire) < needed(b)) {
                if (!wait) return;
                // Waiting threads must not take the core from the serial
                // pass when the team outnumbers the cores.
                if (++idle < 64)
                    std::this_thread::yield();
                else
                    std::this_thread::sleep_for(std::chrono::microseconds(20));
                continue;
            }
            idle = 0;
            int64_t expected = b;
            if (claimed.compare_exchange_weak(expected, b + 1, std::memory_order_relaxed)) parallel(b);
        }
    };
#pragma omp parallel num_threads(team) if (team > 1)
    {
        if (omp_get_thread_num() == 0) {
            // Alone, the calling thread works each block while it is still in
            // cache; with helpers it keeps the serial pass ahead of them.
            const bool alone = omp_get_num_threads() == 1;
            for (int64_t b = 0; b < blocks; ++b) {
                serial(b);
                serialDone.store(b + 1, std::memory_order_release);
                if (alone) work(false);
            }
        }
        work(true);
    }
}

// n samples cut into blocks for the pipeline, and the team for them.
struct SampleBlocks {
    static constexpr int64_t kSize = 4096;          // samples per block, unless a generator needs others
    static constexpr int64_t kPerThread = 1 << 15;  // fewer samples per thread stay on one thread

    explicit SampleBlocks(int64_t samples, int64_t blockSize = kSize)
        : n(samples),
          size(blockSize),
          count((samples + blockSize - 1) / blockSize),
          team(teamNowFor(samples, kPerThread)) {}
    int64_t first(int64_t b) const { return b * size; }
    int64_t last(int64_t b) const { return std::min(n, (b + 1) * size); }

    int64_t n, size, count;
    int team;
};

// The pipeline over the samples' blocks: serial(first, last) and
// parallel(first, last) for each block's samples [first, last).
template <class Serial, class Parallel>
void runBlockPipeline(const SampleBlocks& blocks, int64_t lookahead, Serial serial, Parallel parallel) {
    runBlockPipeline(
        blocks.count, blocks.team, lookahead, [&](int64_t b) { serial(blocks.first(b), blocks.last(b)); },
        [&](int64_t b) { parallel(blocks.first(b), blocks.last(b)); });
}
