// Hosts measuring at the same time, each its own buffer and length (so that
// FFTW plans a transform of every size at once, under the library's one
// planner lock): every thread gets the numbers it gets alone.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "wrapperGenSignalWave.h"

namespace {

std::vector<int16_t> buffer(int samples, int seed) {
    std::vector<int16_t> iq(2 * static_cast<size_t>(samples));
    uint32_t state = 12345u + static_cast<uint32_t>(seed);
    for (auto& v : iq) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<int16_t>(static_cast<int32_t>(state >> 16) - 32768);
    }
    return iq;
}

GenSignalMeasurement measured(const std::vector<int16_t>& iq) {
    const GenSignalMeasureInput in{
        iq.data(), static_cast<int64_t>(iq.size()), GENSIGNAL_FORMAT_CI16, GENSIGNAL_RECORD_NONE, nullptr, 0, 0, 1e6};
    GenSignalMeasurement m{};
    EXPECT_EQ(GenSignalMeasure(&in, nullptr, &m), 0);
    return m;
}

TEST(MeasureThreads, EachThreadGetsWhatItGetsAlone) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 6;
    std::vector<std::vector<int16_t>> buffers;
    std::vector<GenSignalMeasurement> alone;
    for (int t = 0; t < kThreads; ++t) {
        buffers.push_back(buffer(4000 + 997 * t, t));  // sizes with large prime factors too
        alone.push_back(measured(buffers.back()));
    }
    std::atomic<int> waiting{kThreads};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            for (int r = 0; r < kRounds; ++r) {
                const GenSignalMeasurement m = measured(buffers[t]);
                if (std::memcmp(&m, &alone[t], sizeof m) != 0) ++mismatches;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
