// Messages are per thread: hosts refused at the same time each read their own.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "wrapperGenSignalWave.h"

namespace {

TEST(LastErrorThreads, EachThreadReadsItsOwnMessage) {
    constexpr int kThreads = 6;
    constexpr int kRounds = 500;
    std::atomic<int> waiting{kThreads};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const int id = -100 - t;  // never handed out
            const std::string expected = "handle " + std::to_string(id) + " is not a live generator object";
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            for (int r = 0; r < kRounds; ++r) {
                if (GenSignalObjRelease(id) != -1) ++mismatches;
                char buffer[128];
                GenSignalGetLastError(buffer, sizeof buffer);
                if (expected != buffer) ++mismatches;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
