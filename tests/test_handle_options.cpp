// The opt-in settings of a generator object: defaults, round trips, the
// refusals with their reasons, one handle's settings apart from another's,
// and the peak level's effect on the I/Q values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::Handle;
using testing_support::lastError;

double option(int h, int which) {
    double v = -12345;
    EXPECT_EQ(GenSignalGetOption(h, which, &v), 0) << lastError();
    return v;
}

TEST(HandleOptions, StartAtTheirDefaultsAndReadBackWhatWasSet) {
    Handle h;
    EXPECT_EQ(option(h.id, GENSIGNAL_OPTION_LOOP_MODE), GENSIGNAL_LOOP_DEFINED);
    EXPECT_EQ(option(h.id, GENSIGNAL_OPTION_TONE_PHASES), GENSIGNAL_TONE_PHASES_ZERO);
    EXPECT_EQ(option(h.id, GENSIGNAL_OPTION_PHASE_SEED), 0);
    EXPECT_EQ(option(h.id, GENSIGNAL_OPTION_PEAK_DBFS), 0);
    const std::vector<std::pair<int, double>> settings = {{GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT},
                                                          {GENSIGNAL_OPTION_TONE_PHASES, GENSIGNAL_TONE_PHASES_RANDOM},
                                                          {GENSIGNAL_OPTION_PHASE_SEED, 4294967295.0},
                                                          {GENSIGNAL_OPTION_PEAK_DBFS, -6.5}};
    for (const auto& [which, value] : settings) {
        ASSERT_EQ(GenSignalSetOption(h.id, which, value), 0) << lastError();
        EXPECT_EQ(lastError(), "");
        EXPECT_EQ(option(h.id, which), value);
    }
    // Another object keeps its defaults.
    Handle other;
    EXPECT_EQ(option(other.id, GENSIGNAL_OPTION_LOOP_MODE), GENSIGNAL_LOOP_DEFINED);
    EXPECT_EQ(option(other.id, GENSIGNAL_OPTION_PEAK_DBFS), 0);
}

struct Refusal {
    int option;
    double value;
    const char* reason;
};

class HandleOptionRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(HandleOptionRefusals, SayWhyAndLeaveTheOptionAlone) {
    const Refusal r = GetParam();
    Handle h;
    double before = 0;
    const bool known = GenSignalGetOption(h.id, r.option, &before) == 0;
    EXPECT_EQ(GenSignalSetOption(h.id, r.option, r.value), -1);
    const std::string message = lastError();
    EXPECT_NE(message.find(r.reason), std::string::npos) << message;
    if (known) {
        EXPECT_EQ(option(h.id, r.option), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, HandleOptionRefusals,
    ::testing::Values(Refusal{0, 1, "option 0: must be 1 (GENSIGNAL_OPTION_LOOP_MODE)"},
                      Refusal{99, 1, "option 99: must be"},
                      Refusal{GENSIGNAL_OPTION_LOOP_MODE, 2, "GENSIGNAL_OPTION_LOOP_MODE = 2: must be 0"},
                      Refusal{GENSIGNAL_OPTION_LOOP_MODE, 0.5, "GENSIGNAL_OPTION_LOOP_MODE = 0.5: must be 0"},
                      Refusal{GENSIGNAL_OPTION_LOOP_MODE, NAN, "GENSIGNAL_OPTION_LOOP_MODE = nan"},
                      Refusal{GENSIGNAL_OPTION_TONE_PHASES, 4, "GENSIGNAL_OPTION_TONE_PHASES = 4: must be 0 (zero)"},
                      Refusal{GENSIGNAL_OPTION_TONE_PHASES, -1, "GENSIGNAL_OPTION_TONE_PHASES = -1"},
                      Refusal{GENSIGNAL_OPTION_PHASE_SEED, 4294967296.0, "GENSIGNAL_OPTION_PHASE_SEED = 4294967296"},
                      Refusal{GENSIGNAL_OPTION_PHASE_SEED, 1.5, "must be a whole number from 0 to 4294967295"},
                      Refusal{GENSIGNAL_OPTION_PHASE_SEED, INFINITY, "GENSIGNAL_OPTION_PHASE_SEED = inf"},
                      Refusal{GENSIGNAL_OPTION_PEAK_DBFS, 0.1, "GENSIGNAL_OPTION_PEAK_DBFS = 0.1: must be -90 to 0"},
                      Refusal{GENSIGNAL_OPTION_PEAK_DBFS, -90.5, "GENSIGNAL_OPTION_PEAK_DBFS = -90.5"},
                      Refusal{GENSIGNAL_OPTION_PEAK_DBFS, NAN, "GENSIGNAL_OPTION_PEAK_DBFS = nan"}));

TEST(HandleOptions, UnknownHandlesAndNullPointersAreRefused) {
    double v = 0;
    EXPECT_EQ(GenSignalSetOption(-7, GENSIGNAL_OPTION_LOOP_MODE, 1), -1);
    EXPECT_EQ(lastError(), "handle -7 is not a live generator object");
    EXPECT_EQ(GenSignalGetOption(-7, GENSIGNAL_OPTION_LOOP_MODE, &v), -1);
    GenSignalLoopInfo info;
    EXPECT_EQ(GenSignalGetLoopInfo(-7, &info), -1);
    char note[8];
    EXPECT_EQ(GenSignalGetNote(-7, note, sizeof note), -1);
    Handle h;
    EXPECT_EQ(GenSignalGetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, nullptr), -1);
    EXPECT_EQ(GenSignalGetLoopInfo(h.id, nullptr), -1);
    EXPECT_EQ(GenSignalGetNote(h.id, nullptr, 8), -1);
    EXPECT_EQ(GenSignalGetNote(h.id, note, 0), -1);
    // Before any call: no loop, no note.
    ASSERT_EQ(GenSignalGetLoopInfo(h.id, &info), 0);
    EXPECT_EQ(info.samples, 0);
    EXPECT_EQ(GenSignalGetNote(h.id, note, sizeof note), 0);
    EXPECT_STREQ(note, "");
}

std::vector<int16_t> am(int h, const AMModParams& p, double rate) {
    int16_t* iq = nullptr;
    int count = 0;
    EXPECT_EQ(GenerateAmWaveform(h, &p, &iq, &count, rate), 0) << lastError();
    return std::vector<int16_t>(iq, iq + count);
}

std::vector<int16_t> fm(int h, const FMModParams& p, double rate) {
    int16_t* iq = nullptr;
    int count = 0;
    EXPECT_EQ(GenerateFmWaveform(h, &p, &iq, &count, rate), 0) << lastError();
    return std::vector<int16_t>(iq, iq + count);
}

TEST(PeakLevel, ScalesThePeakAndZeroKeepsTheDefinedBits) {
    const AMModParams amp{1000.0, 100.0, 1};
    const FMModParams fmp{1000.0, 5000.0, 1};
    Handle plain, zero, lowered;
    ASSERT_EQ(GenSignalSetOption(zero.id, GENSIGNAL_OPTION_PEAK_DBFS, -0.0), 0);
    ASSERT_EQ(GenSignalSetOption(lowered.id, GENSIGNAL_OPTION_PEAK_DBFS, -6), 0);
    EXPECT_EQ(am(zero.id, amp, 48000), am(plain.id, amp, 48000));
    EXPECT_EQ(fm(zero.id, fmp, 48000), fm(plain.id, fmp, 48000));

    // The AM envelope's crest becomes 32766 * 10^(-6/20) = 16422.4..., rounded.
    const std::vector<int16_t> low = am(lowered.id, amp, 48000);
    int peak = 0;
    for (size_t i = 0; i < low.size(); i += 2) peak = std::max(peak, std::abs(static_cast<int>(low[i])));
    EXPECT_EQ(peak, 16422);
    // The FM phasor keeps a magnitude of 16422 to within rounding.
    const std::vector<int16_t> f = fm(lowered.id, fmp, 48000);
    for (size_t i = 0; i < f.size(); i += 2) EXPECT_NEAR(std::hypot(f[i], f[i + 1]), 16422.4, 1.5);
}

}  // namespace
