// The settings that shape a loop beyond its record: the option table a host
// builds its settings from, a snap to the nearest value that closes, and
// the lengths a player takes (granularity, minimum and maximum length,
// minimum duration) in either loop mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "exactModeSupport.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using namespace testing_support;

std::vector<GenSignalOptionInfo> options() {
    std::vector<GenSignalOptionInfo> list(static_cast<size_t>(GenSignalListOptions(nullptr, 0)));
    EXPECT_EQ(GenSignalListOptions(list.data(), static_cast<int>(list.size())), static_cast<int>(list.size()));
    return list;
}

// Every option as the table describes it: a new handle holds its default,
// its range's ends are taken, and just beyond them, a fraction of a whole
// number, NaN and infinity are refused with the option's name.
TEST(OptionTable, DescribesWhatTheLibraryChecks) {
    const std::vector<GenSignalOptionInfo> list = options();
    ASSERT_GE(list.size(), 9u);
    std::set<std::string> keywords;
    for (const GenSignalOptionInfo& o : list) {
        SCOPED_TRACE(o.name);
        EXPECT_TRUE(keywords.insert(o.keyword).second);
        EXPECT_NE(o.kinds, 0u);
        EXPECT_EQ(o.choices != nullptr, o.type == GENSIGNAL_OPTION_TYPE_CHOICE);
        Handle h;
        double v = -1;
        ASSERT_EQ(GenSignalGetOption(h.id, o.option, &v), 0);
        EXPECT_EQ(v, o.defaultValue);
        for (double ok : {o.minimum, o.maximum}) EXPECT_EQ(GenSignalSetOption(h.id, o.option, ok), 0) << ok;
        const double step = o.type == GENSIGNAL_OPTION_TYPE_REAL ? 1e-3 * (o.maximum - o.minimum) : 1;
        std::vector<double> bad = {o.minimum - step, o.maximum + step, NAN, INFINITY};
        if (o.type != GENSIGNAL_OPTION_TYPE_REAL) bad.push_back(o.minimum + 0.5);
        for (double wrong : bad) {
            EXPECT_EQ(GenSignalSetOption(h.id, o.option, wrong), -1) << wrong;
            EXPECT_EQ(lastError().rfind(std::string(o.name) + " = ", 0), 0u) << lastError();
        }
    }
    EXPECT_EQ(GenSignalListOptions(nullptr, 3), -1);
    EXPECT_EQ(GenSignalListOptions(nullptr, -1), -1);
}

const MultitoneParams kOddSpacing{{0}, 8, 7777.7};
int oddTones(int h, int16_t** iq, int* n) { return GenerateMultitoneWaveform(h, &kOddSpacing, iq, n, 30.72e6); }

// A snap makes the record with the value the refusal names, bit for bit,
// and says so; without it the same call is refused.
TEST(Snap, TakesTheNearestValueThatClosesAndSaysSo) {
    EXPECT_EQ(exactLoop(oddTones).rc, -1);
    Handle h;
    ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT), 0);
    ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_SNAP, 1), 0);
    const Loop snapped = runOn(h.id, oddTones);
    ASSERT_EQ(snapped.rc, 0) << snapped.reason;
    EXPECT_EQ(snapped.reason, "");
    GenSignalSnap snap;
    ASSERT_EQ(GenSignalGetSnap(h.id, &snap), 0);
    EXPECT_STREQ(snap.field, "MultitoneParams.toneSpacing");
    EXPECT_EQ(snap.requested, 7777.7);
    EXPECT_EQ(snap.used, 7777.5);
    EXPECT_NE(snapped.note.find("snapped MultitoneParams.toneSpacing from 7777.7 to 7777.5"), std::string::npos)
        << snapped.note;
    const MultitoneParams closing{{0}, 8, 7777.5};
    const Loop direct = exactLoop(
        [&](int hh, int16_t** iq, int* n) { return GenerateMultitoneWaveform(hh, &closing, iq, n, 30.72e6); });
    EXPECT_TRUE(sameBits(snapped.iq, direct.iq));
    // A call that closes as it is snaps nothing.
    ASSERT_EQ(runOn(h.id, [&](int hh, int16_t** iq,
                              int* n) { return GenerateMultitoneWaveform(hh, &closing, iq, n, 30.72e6); })
                  .rc,
              0);
    ASSERT_EQ(GenSignalGetSnap(h.id, &snap), 0);
    EXPECT_STREQ(snap.field, "");
}

DigitalModParams qpsk() {
    DigitalModParams p;
    std::memset(&p, 0, sizeof p);
    p.modType = QPSK;
    p.symbolRate = 1e6;
    p.pnOrder = 9;
    p.pnSeed = 1;
    p.filterType = RRCOS;
    p.filterSpan = 6;
    p.samplesPerSymbol = 8;
    p.rolloff = 0.35;
    return p;
}

struct LengthCase {
    const char* what;
    int loop;
    double granularity, minLength, maxSamples, minDuration;
    int rc;
    int samples;  // when accepted
};

// 125 symbols at 1 Msym/s into 3 MS/s: a unit loop of 375 samples.
class Lengths : public ::testing::TestWithParam<LengthCase> {};

TEST_P(Lengths, WholeCopiesOfTheLoopOrTheReason) {
    const LengthCase c = GetParam();
    const DigitalModParams p = qpsk();
    const Call call = [&](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &p, 125, iq, n, 3e6); };
    Handle h;
    const std::pair<int, double> settings[] = {{GENSIGNAL_OPTION_LOOP_MODE, c.loop},
                                               {GENSIGNAL_OPTION_GRANULARITY, c.granularity},
                                               {GENSIGNAL_OPTION_MIN_LENGTH, c.minLength},
                                               {GENSIGNAL_OPTION_MAX_SAMPLES, c.maxSamples},
                                               {GENSIGNAL_OPTION_MIN_LOOP_DURATION, c.minDuration}};
    for (const auto& [option, value] : settings) ASSERT_EQ(GenSignalSetOption(h.id, option, value), 0);
    const Loop l = runOn(h.id, call);
    ASSERT_EQ(l.rc, c.rc) << l.reason;
    if (c.rc != 0) {
        EXPECT_NE(l.reason.find("GENSIGNAL_OPTION_"), std::string::npos) << l.reason;
        return;
    }
    EXPECT_EQ(static_cast<int>(l.samples()), c.samples);
    EXPECT_EQ(l.info.samples, c.samples);
    // The copies are the unit loop repeated.
    const Loop unit = c.loop == GENSIGNAL_LOOP_EXACT ? exactLoop(call) : definedLoop(call);
    ASSERT_EQ(c.samples % unit.samples(), 0u);
    EXPECT_EQ(l.info.periods, unit.info.periods * static_cast<int>(c.samples / unit.samples()));
    for (size_t i = 0; i < l.iq.size(); ++i) ASSERT_EQ(l.iq[i], unit.iq[i % unit.iq.size()]) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Lengths,
    ::testing::Values(LengthCase{"exact, in steps of 8", GENSIGNAL_LOOP_EXACT, 8, 0, 0, 0, 0, 3000},
                      LengthCase{"exact, at least 1000", GENSIGNAL_LOOP_EXACT, 1, 1000, 0, 0, 0, 1125},
                      LengthCase{"exact, both", GENSIGNAL_LOOP_EXACT, 2, 1000, 0, 0, 0, 1500},
                      LengthCase{"exact, a millisecond", GENSIGNAL_LOOP_EXACT, 1, 0, 0, 1e-3, 0, 3000},
                      LengthCase{"exact, beyond the maximum", GENSIGNAL_LOOP_EXACT, 8, 0, 2000, 0, -1, 0},
                      LengthCase{"defined, fits", GENSIGNAL_LOOP_DEFINED, 5, 300, 400, 0, 0, 375},
                      LengthCase{"defined, not a multiple", GENSIGNAL_LOOP_DEFINED, 2, 0, 0, 0, -1, 0},
                      LengthCase{"defined, too short", GENSIGNAL_LOOP_DEFINED, 1, 376, 0, 0, -1, 0}),
    [](const ::testing::TestParamInfo<LengthCase>& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

}  // namespace
