// The exact loop mode out of memory: in a child whose address space is
// capped far below what a long loop needs, every kind answers -3 (or -1 for
// an array the frame or a defined generator refuses) with a reason that says
// what could not be had, writes no out-parameter and keeps nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "exactModeSupport.h"

namespace {

using namespace testing_support;

constexpr size_t kMiB = size_t{1} << 20;

struct LongLoop {
    const char* name;
    Call call;
};

class ExactOutOfMemory : public ::testing::TestWithParam<LongLoop> {};

TEST_P(ExactOutOfMemory, RefusesCleanlyAndSaysWhat) {
    if (!kAddressSpaceCapUsable) GTEST_SKIP() << "address-space cap unusable under sanitizers";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const LongLoop& c = GetParam();
    EXPECT_EXIT(exitUnderAddressSpaceCap(24 * kMiB,
                                         [&] {
                                             const int h = GenSignalObjCreatSelfEncode();
                                             GenSignalSetOption(h, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
                                             int16_t sentinel = 0;
                                             int16_t* iq = &sentinel;
                                             int count = -7;
                                             const int rc = c.call(h, &iq, &count);
                                             const std::string why = lastError();
                                             GenSignalObjRelease(h);
                                             std::fprintf(stderr, "rc %d, \"%s\"\n", rc, why.c_str());
                                             return ((rc == -3 || rc == -1) ? 0 : 1) |
                                                    (iq == &sentinel && count == -7 ? 0 : 2) |
                                                    (why.rfind("out of memory", 0) == 0 ? 0 : 4);
                                         }),
                ::testing::ExitedWithCode(0), "");
}

DigitalModParams digital(DigitalModulType kind) {
    DigitalModParams p;
    std::memset(&p, 0, sizeof p);
    p.modType = kind;
    p.symbolRate = 1.023e6;
    p.freqDeviation = 1.023e6 / 4;
    p.pnOrder = 9;
    p.pnSeed = 1;
    p.filterType = kind == FSK2 ? GAUSSIAN : RRCOS;
    p.filterSpan = 6;
    p.samplesPerSymbol = 8;
    p.rolloff = kind == FSK2 ? 0.5 : 0.35;
    return p;
}

// Loops of 10^7 samples and more: 80 MB of samples at least.
INSTANTIATE_TEST_SUITE_P(Kinds, ExactOutOfMemory,
                         ::testing::Values(LongLoop{"Qpsk",
                                                    [](int h, int16_t** iq, int* n) {
                                                        const DigitalModParams p = digital(QPSK);
                                                        return GenerateDigitalModWaveform(h, &p, 1000, iq, n, 10e6);
                                                    }},
                                           LongLoop{"Fsk",
                                                    [](int h, int16_t** iq, int* n) {
                                                        const DigitalModParams p = digital(FSK2);
                                                        return GenerateDigitalModWaveform(h, &p, 1000, iq, n, 10e6);
                                                    }},
                                           LongLoop{"Dss",
                                                    [](int h, int16_t** iq, int* n) {
                                                        const DSSParams p{1000, BPSK, 7, 6, 4, 0.35, 1, RRCOS};
                                                        return GenerateDssWaveform(h, &p, 1000, iq, n, 10e6);
                                                    }},
                                           LongLoop{"Multitone",
                                                    [](int h, int16_t** iq, int* n) {
                                                        const MultitoneParams p{{0}, 64, 2.0};
                                                        return GenerateMultitoneWaveform(h, &p, iq, n, 30.72e6);
                                                    }},
                                           LongLoop{"Pulse",
                                                    [](int h, int16_t** iq, int* n) {
                                                        const PulseParams p{0.2, 1.0};
                                                        return GeneratePulseWaveform(h, &p, iq, n, 30.72e6 + 3);
                                                    }},
                                           LongLoop{"Am",
                                                    [](int h, int16_t** iq, int* n) {
                                                        const AMModParams p{0.3, 50, 1};  // 3 periods, 10^7 samples
                                                        return GenerateAmWaveform(h, &p, iq, n, 1e6);
                                                    }},
                                           LongLoop{"Fm",
                                                    [](int h, int16_t** iq, int* n) {
                                                        const FMModParams p{0.3, 1000, 1};
                                                        return GenerateFmWaveform(h, &p, iq, n, 1e6);
                                                    }},
                                           LongLoop{"StepSweep",
                                                    [](int h, int16_t** iq, int* n) {
                                                        const StepSweepParams p{0, 1000, 10, 0.5};
                                                        return GenerateStepSweepWaveform(h, &p, iq, n, 10e6);
                                                    }},
                                           LongLoop{"Noise",
                                                    [](int h, int16_t** iq, int* n) {
                                                        const AWGNParams p{1e6, 5};
                                                        return GenerateAWGNWaveform(h, &p, iq, n, 10e6);
                                                    }}),
                         [](const ::testing::TestParamInfo<LongLoop>& info) { return std::string(info.param.name); });

}  // namespace
