// The library's own parallel regions with a team of several threads, from
// several host threads at once, in both loop modes: every call must give the
// bytes a call at one thread gives. Under ThreadSanitizer (label tsan, with
// LLVM's OpenMP runtime and its Archer tool) a race inside a region fails.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
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

// A four-carrier scene's bytes, labels and report, at a team size.
struct SceneMade {
    int rc = -9;
    std::vector<int16_t> samples;
    std::vector<GenSignalSceneLabel> labels;
    GenSignalSceneReport report{};
};

SceneMade madeScene(int cfr, int threads) {
    omp_set_num_threads(threads);
    const OFDMParams o = examples::twentyMhzCarrier(6);
    std::vector<GenSignalScenePart> parts = examples::fourCarriers(&o);
    const GenSignalScene s = examples::fourCarrierScene(parts, cfr);
    const int h = GenSignalObjCreatSelfEncode();
    GenSignalSetOption(h, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
    SceneMade m;
    int16_t* iq = nullptr;
    int count = 0;
    m.rc = GenerateSceneWaveform(h, &s, &iq, &count);
    if (m.rc == 0) {
        m.samples.assign(iq, iq + count);
        m.labels.resize(static_cast<size_t>(GenSignalGetSceneLabels(h, nullptr, 0)));
        GenSignalGetSceneLabels(h, m.labels.data(), static_cast<int>(m.labels.size()));
        GenSignalGetSceneReport(h, &m.report);
    }
    GenSignalObjRelease(h);
    return m;
}

bool sameBytes(const SceneMade& a, const SceneMade& b) {
    return a.samples == b.samples && a.labels.size() == b.labels.size() &&
           std::memcmp(a.labels.data(), b.labels.data(), a.labels.size() * sizeof(GenSignalSceneLabel)) == 0 &&
           std::memcmp(&a.report, &b.report, sizeof a.report) == 0;
}

class SceneRegions : public ::testing::TestWithParam<int> {};

// The sum, the spectra built beside one another, the rankings and the
// reduction's rounds: the same samples, labels and report at any team.
TEST_P(SceneRegions, AFourCarrierSceneFromTwoHostThreadsGivesTheBytesOfOneThread) {
    const SceneMade alone = madeScene(GetParam(), 1);
    ASSERT_EQ(alone.rc, 0);
    ASSERT_EQ(alone.labels.size(), 4u);
    SceneMade got[2];
    std::thread a([&] { got[0] = madeScene(GetParam(), 3); });
    std::thread b([&] { got[1] = madeScene(GetParam(), 2); });
    a.join();
    b.join();
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(got[t].rc, 0) << "host thread " << t;
        EXPECT_TRUE(sameBytes(got[t], alone)) << "host thread " << t << " differs";
    }
}

INSTANTIATE_TEST_SUITE_P(ReductionOffAndOn, SceneRegions,
                         ::testing::Values(GENSIGNAL_CFR_OFF, GENSIGNAL_CFR_CLIP_FILTER, GENSIGNAL_CFR_PEAK_WINDOW),
                         [](const auto& info) {
                             return info.param == GENSIGNAL_CFR_OFF           ? std::string("Off")
                                    : info.param == GENSIGNAL_CFR_CLIP_FILTER ? std::string("ClipFilter")
                                                                              : std::string("PeakWindow");
                         });

}  // namespace
