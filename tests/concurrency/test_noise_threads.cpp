// Noise from several host threads at once. These tests also run under
// ThreadSanitizer (label tsan), which reports any shared state the Gaussian
// source or the AWGN generator touches without synchronisation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

#include "../noiseReference.h"
#include "gaussianNoise.h"
#include "wrapperGenSignalWave.h"

namespace {

// Thread A takes the first value of a pair and leaves its spare; thread B
// then draws. B must not be handed A's spare, and A must still get it.
TEST(NoiseThreads, SpareStaysWithTheThreadThatDrewThePair) {
    const PolarReference ref = polarReference(1, 64);  // leaves rand() seeded with 1
    std::promise<void> aDrew, bDrew;
    double a1 = 0, a2 = 0, b1 = 0;
    std::thread a([&] {
        a1 = randn();
        aDrew.set_value();
        bDrew.get_future().wait();
        a2 = randn();
    });
    std::thread b([&] {
        aDrew.get_future().wait();
        b1 = randn();
        bDrew.set_value();
    });
    a.join();
    b.join();
    EXPECT_EQ(a1, ref.values[0]);
    EXPECT_EQ(a2, ref.values[1]);
    EXPECT_EQ(b1, ref.values[2]);  // the first value of the next pair
}

// Several host threads, one handle each, generating noise at the same time.
TEST(NoiseThreads, ConcurrentGenerationOnSeveralHandles) {
    const int kThreads = 4, kCalls = 3;
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            const int h = GenSignalObjCreatSelfEncode();
            for (int call = 0; call < kCalls; ++call) {
                const AWGNParams p{1e5 * (t + 1), 2e-3};
                int16_t* iq = nullptr;
                int count = 0;
                if (GenerateAWGNWaveform(h, &p, &iq, &count, 1e6) != 0 || count != 4000) {
                    ++failures[t];
                    continue;
                }
                double peak2 = 0;
                for (int i = 0; i < 2000; ++i)
                    peak2 = std::fmax(peak2, double(iq[2 * i]) * iq[2 * i] + double(iq[2 * i + 1]) * iq[2 * i + 1]);
                if (std::fabs(std::sqrt(peak2) - 32766) > 1.5) ++failures[t];
            }
            GenSignalObjRelease(h);
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
