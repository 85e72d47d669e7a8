// Several host threads creating, generating on and releasing their own
// handles at once: the registry and its lock must keep them apart.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "wrapperGenSignalWave.h"

namespace {

TEST(HandleThreads, ConcurrentCreateGenerateRelease) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    std::atomic<int> failures{0};
    std::atomic<int> waiting{kThreads};  // start together so the calls overlap
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            for (int r = 0; r < kRounds; ++r) {
                const int h = GenSignalObjCreatSelfEncode();
                if (h < 0) {
                    ++failures;
                    continue;
                }
                const AMModParams p{1000.0, 10.0 + t, 1 + (r % 4)};
                int16_t* iq = nullptr;
                int count = 0;
                if (GenerateAmWaveform(h, &p, &iq, &count, 48000.0) != 0 || count != 96) ++failures;
                if (GenSignalObjRelease(h) != 0) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
