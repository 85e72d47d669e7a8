// Noise from several host threads at once. These tests also run under
// ThreadSanitizer (label tsan), which reports any shared state the Gaussian
// source or the AWGN generator touches without synchronisation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <thread>

#include "../noiseReference.h"
#include "function.h"

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

}  // namespace
