// The library's own parallel regions with a team of several threads, from
// several host threads at once, in both loop modes: every call must give the
// bytes a call at one thread gives. Under ThreadSanitizer (label tsan, with
// LLVM's OpenMP runtime and its Archer tool) a race inside a region fails.
#include <gtest/gtest.h>
#include <omp.h>

#include <thread>
#include <vector>

#include "../exampleRecords.h"
#include "wrapperGenSignalWave.h"

namespace {

std::vector<int16_t> made(const examples::Example& e, int loopMode, int threads, int* rc) {
    omp_set_num_threads(threads);  // this host thread's team size only
    const int h = GenSignalObjCreatSelfEncode();
    GenSignalSetOption(h, GENSIGNAL_OPTION_LOOP_MODE, loopMode);
    int16_t* iq = nullptr;
    int count = 0;
    *rc = e.generate(h, &iq, &count);
    std::vector<int16_t> out(iq, iq + (*rc == 0 ? count : 0));
    GenSignalObjRelease(h);
    return out;
}

class ParallelRegions : public ::testing::TestWithParam<std::tuple<examples::Example, int>> {};

TEST_P(ParallelRegions, ATeamFromTwoHostThreadsGivesTheBytesOfOneThread) {
    const examples::Example& example = std::get<0>(GetParam());
    const int mode = std::get<1>(GetParam());
    int rc = 0;
    const std::vector<int16_t> alone = made(example, mode, 1, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_FALSE(alone.empty());
    std::vector<int16_t> got[2];
    int codes[2] = {-9, -9};
    std::thread a([&] { got[0] = made(example, mode, 3, &codes[0]); });
    std::thread b([&] { got[1] = made(example, mode, 2, &codes[1]); });
    a.join();
    b.join();
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(codes[t], 0) << "host thread " << t;
        EXPECT_TRUE(got[t] == alone) << "host thread " << t << " differs";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ParallelRegions,
                         ::testing::Combine(::testing::ValuesIn(examples::everyKind()),
                                            ::testing::Values(GENSIGNAL_LOOP_DEFINED, GENSIGNAL_LOOP_EXACT)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name +
                                    (std::get<1>(info.param) == GENSIGNAL_LOOP_EXACT ? "Exact" : "Defined");
                         });

}  // namespace
