// The channel as a stage of every entry point (GenSignalSetChannel): set
// records checked field by field and refused touching nothing, the stage
// matching GenSignalApplyChannel on the clean buffer in both loop modes,
// no channel (or one with every stage off) leaving every byte, the exact
// mode's loop rules refused naming what closes, and the noise kind's draws
// from the counter-based generator Gaussian once band-limited.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "channelSupport.h"
#include "exactModeSupport.h"

namespace {

using namespace testing_support;

constexpr double kRate = 8e6;
constexpr int kSymbols = 4000;  // the exact loop: 32000 samples, T = 4 ms

Call qpskCall(const DigitalModParams& p, int symbols = kSymbols) {
    return
        [p, symbols](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &p, symbols, iq, n, kRate); };
}

// Every stage that keeps a loop of `n` samples at kRate a loop, and Es/N0.
GenSignalChannel everyStage(int64_t n, uint64_t seed) {
    GenSignalChannel c = channelOff(seed);
    const double grid = kRate / static_cast<double>(n);
    c.paModel = GENSIGNAL_PA_RAPP;
    c.paBackoffDb = 4;
    c.fading = GENSIGNAL_FADING_EVA;
    c.dopplerHz = 8 * grid;
    c.timingOffset = 0.37;
    c.cfoHz = 5 * grid;
    c.phaseOffsetDeg = 20;
    setMask(c, {{2 * grid, -70}, {1e5, -100}});
    c.noiseMode = GENSIGNAL_NOISE_ESN0;
    c.noiseDb = 20;
    c.iqGainDb = 0.5;
    c.iqPhaseDeg = 2;
    c.dcEnabled = 1;
    c.dcDbc = -25;
    return c;
}

Loop withChannel(bool exact, const GenSignalChannel* c, const Call& call) {
    Handle h;
    EXPECT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, exact), 0);
    EXPECT_EQ(GenSignalSetChannel(h.id, c), 0) << lastError();
    return runOn(h.id, call);
}

TEST(HandleChannel, MatchesApplyChannelOnTheCleanBufferInBothModes) {
    const DigitalModParams p = qpskRecord();
    for (bool exact : {false, true}) {
        const Loop clean = withChannel(exact, nullptr, qpskCall(p));
        ASSERT_EQ(clean.rc, 0) << clean.reason;
        const int64_t n = static_cast<int64_t>(clean.samples());
        GenSignalChannel c = everyStage(n, 9);
        if (!exact) c.cfoHz = 1234;  // off the grid: applied and noted
        Handle own;
        ASSERT_EQ(GenSignalSetOption(own.id, GENSIGNAL_OPTION_LOOP_MODE, exact), 0);
        ASSERT_EQ(GenSignalSetChannel(own.id, &c), 0) << lastError();
        const Loop got = runOn(own.id, qpskCall(p));
        ASSERT_EQ(got.rc, 0) << got.reason;
        GenSignalChannelRealised realised{};
        ASSERT_EQ(GenSignalGetChannelRealised(own.id, &realised), 0) << lastError();

        Handle other;
        ASSERT_EQ(GenSignalSetOption(other.id, GENSIGNAL_OPTION_LOOP_MODE, exact), 0);
        const Impaired ref = impair(other.id, c, inputOf(clean.iq, kRate, GENSIGNAL_RECORD_DIGITAL, &p, kSymbols));
        ASSERT_EQ(ref.rc, 0) << ref.reason;
        ASSERT_EQ(got.iq.size(), ref.iq.size());
        // The clean buffer's rounding is all that differs.
        double worst = 0, squares = 0;
        for (size_t i = 0; i < got.iq.size(); ++i) {
            const double d = std::fabs(static_cast<double>(got.iq[i]) - ref.iq[i]);
            worst = std::max(worst, d);
            squares += d * d;
        }
        EXPECT_LE(worst, 2) << "exact " << exact;
        EXPECT_LE(std::sqrt(squares / static_cast<double>(got.iq.size())), 0.5) << "exact " << exact;
        // Es/N0 from the record: 8 samples per symbol.
        EXPECT_NEAR(realised.esn0Db, 20, 0.01);
        EXPECT_NEAR(realised.snrDb, 20 - 10 * std::log10(8.0), 0.01);
        EXPECT_DOUBLE_EQ(realised.fadingPowerDb, ref.realised.fadingPowerDb);
        EXPECT_NEAR(realised.outputPower / ref.realised.outputPower, 1, 1e-3);
        EXPECT_STREQ(realised.note, ref.realised.note);
        EXPECT_EQ(realised.cfoCloses, exact ? 1 : 0);
        EXPECT_EQ(realised.samples, n);
        if (!exact) {
            EXPECT_NE(got.note.find(realised.note), std::string::npos) << got.note;
        }
    }
}

TEST(HandleChannel, ARealKindBecomesComplexThroughIt) {
    const AMModParams am{1000, 50, 1};
    const Call call = [am](int h, int16_t** iq, int* n) { return GenerateAmWaveform(h, &am, iq, n, 48000); };
    GenSignalChannel c = channelOff(4);
    c.phaseOffsetDeg = 90;  // I becomes Q
    const Loop clean = withChannel(false, nullptr, call), turned = withChannel(false, &c, call);
    ASSERT_EQ(turned.rc, 0) << turned.reason;
    ASSERT_EQ(turned.iq.size(), clean.iq.size());
    for (size_t i = 0; i < clean.samples(); ++i) {
        EXPECT_NEAR(turned.iq[2 * i], 0, 1) << i;
        EXPECT_NEAR(turned.iq[2 * i + 1], clean.iq[2 * i], 1) << i;
    }
}

// The handle's figures belong to its last successful call: a scene, which
// takes no part of the handle's channel, leaves none to read.
TEST(HandleChannel, RealisedFiguresAreOnlyTheLastCallsOwn) {
    const DigitalModParams p = qpskRecord();
    GenSignalChannel c = channelOff(3);
    c.noiseMode = GENSIGNAL_NOISE_SNR;
    c.noiseDb = 20;
    Handle h;
    ASSERT_EQ(GenSignalSetChannel(h.id, &c), 0) << lastError();
    ASSERT_EQ(runOn(h.id, qpskCall(p)).rc, 0);
    GenSignalChannelRealised realised{};
    ASSERT_EQ(GenSignalGetChannelRealised(h.id, &realised), 0) << lastError();
    EXPECT_NEAR(realised.snrDb, 20, 0.01);

    GenSignalScenePart part{};
    part.recordKind = GENSIGNAL_RECORD_DIGITAL;
    part.record = &p;
    part.argument = 1000;
    GenSignalScene scene{};
    scene.sampleRate = kRate;
    scene.partCount = 1;
    scene.parts = &part;
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateSceneWaveform(h.id, &scene, &iq, &count), 0) << lastError();
    EXPECT_EQ(GenSignalGetChannelRealised(h.id, &realised), -1);
    EXPECT_NE(lastError().find("applied no channel"), std::string::npos) << lastError();
}

TEST(HandleChannel, NoChannelOrEveryStageOffLeavesEveryByte) {
    const DigitalModParams qpsk = qpskRecord();
    const AMModParams am{1000, 50, 1};
    const PulseParams pulse{1e-4, 1e-3};
    const AWGNParams awgn{1e5, 1e-3};
    const Call calls[] = {
        qpskCall(qpsk, 500),
        [am](int h, int16_t** iq, int* n) { return GenerateAmWaveform(h, &am, iq, n, 48000); },
        [pulse](int h, int16_t** iq, int* n) { return GeneratePulseWaveform(h, &pulse, iq, n, 1e6); },
    };
    const GenSignalChannel seedOnly = channelOff(77);
    GenSignalChannel active = channelOff(77);
    active.noiseMode = GENSIGNAL_NOISE_SNR;
    active.noiseDb = 10;
    for (bool exact : {false, true})
        for (const Call& call : calls) {
            const Loop plain = withChannel(exact, nullptr, call);
            ASSERT_EQ(plain.rc, 0) << plain.reason;
            const Loop idle = withChannel(exact, &seedOnly, call);
            EXPECT_EQ(idle.iq, plain.iq) << "exact " << exact;
            // Set, then turned off again.
            Handle h;
            ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, exact), 0);
            ASSERT_EQ(GenSignalSetChannel(h.id, &active), 0);
            const Loop noisy = runOn(h.id, call);
            ASSERT_EQ(noisy.rc, 0) << noisy.reason;
            EXPECT_NE(noisy.iq, plain.iq);
            GenSignalChannelRealised r{};
            EXPECT_EQ(GenSignalGetChannelRealised(h.id, &r), 0);
            ASSERT_EQ(GenSignalSetChannel(h.id, nullptr), 0);
            EXPECT_EQ(runOn(h.id, call).iq, plain.iq);
            EXPECT_EQ(GenSignalGetChannelRealised(h.id, &r), -1);
            EXPECT_NE(lastError().find("applied no channel"), std::string::npos);
        }
    // The noise kind's defined draws continue rand()'s stream whatever the seed.
    Handle h;
    ASSERT_EQ(GenSignalSetChannel(h.id, &seedOnly), 0);
    std::srand(5);
    const Loop first =
        runOn(h.id, [awgn](int id, int16_t** iq, int* n) { return GenerateAWGNWaveform(id, &awgn, iq, n, 1e6); });
    Handle plainHandle;
    std::srand(5);
    const Loop second = runOn(
        plainHandle.id, [awgn](int id, int16_t** iq, int* n) { return GenerateAWGNWaveform(id, &awgn, iq, n, 1e6); });
    EXPECT_EQ(first.iq, second.iq);
}

struct SetRefusal {
    const char* name;
    std::function<void(GenSignalChannel&)> change;
    const char* reason;
};

const SetRefusal kSetRefusals[] = {
    {"reserved", [](GenSignalChannel& c) { c.reserved[3] = 9; }, "GenSignalChannel.reserved[3] = 9"},
    {"paModel", [](GenSignalChannel& c) { c.paModel = 7; }, "GenSignalChannel.paModel = 7"},
    {"paBackoffNan", [](GenSignalChannel& c) { c.paBackoffDb = NAN; }, "GenSignalChannel.paBackoffDb = nan"},
    {"fading", [](GenSignalChannel& c) { c.fading = 12; }, "GenSignalChannel.fading = 12"},
    {"tapDelay",
     [](GenSignalChannel& c) {
         c.tapCount = 2;
         c.taps[1].delay = -1e-6;
     },
     "GenSignalChannel.taps[1].delay = -1e-06"},
    {"timingInf", [](GenSignalChannel& c) { c.timingOffset = INFINITY; }, "GenSignalChannel.timingOffset = inf"},
    {"maskOrder",
     [](GenSignalChannel& c) {
         setMask(c, {{1e5, -90}, {1e4, -80}});
     },
     "GenSignalChannel.phaseNoiseOffsetHz[1] = 10000"},
    {"maskPoints", [](GenSignalChannel& c) { c.phaseNoisePoints = 17; }, "GenSignalChannel.phaseNoisePoints = 17"},
    {"noiseMode", [](GenSignalChannel& c) { c.noiseMode = 5; }, "GenSignalChannel.noiseMode = 5"},
    {"noiseNan",
     [](GenSignalChannel& c) {
         c.noiseMode = GENSIGNAL_NOISE_SNR;
         c.noiseDb = NAN;
     },
     "GenSignalChannel.noiseDb = nan"},
    {"iqPhase", [](GenSignalChannel& c) { c.iqPhaseDeg = 90; }, "GenSignalChannel.iqPhaseDeg = 90"},
    {"dcEnabled", [](GenSignalChannel& c) { c.dcEnabled = 2; }, "GenSignalChannel.dcEnabled = 2"},
};

class HandleChannelRefusal : public ::testing::TestWithParam<SetRefusal> {};

TEST_P(HandleChannelRefusal, KeepsTheChannelSetBeforeAndNamesTheField) {
    const SetRefusal& r = GetParam();
    Handle h;
    GenSignalChannel before = channelOff(3);
    before.noiseMode = GENSIGNAL_NOISE_SNR;
    before.noiseDb = 30;
    ASSERT_EQ(GenSignalSetChannel(h.id, &before), 0);
    GenSignalChannel bad = channelOff(3);
    r.change(bad);
    EXPECT_EQ(GenSignalSetChannel(h.id, &bad), -1);
    EXPECT_NE(lastError().find(r.reason), std::string::npos) << lastError();
    // Still the channel set before: 30 dB SNR.
    const Loop got = runOn(h.id, qpskCall(qpskRecord(), 200));
    ASSERT_EQ(got.rc, 0) << got.reason;
    GenSignalChannelRealised realised{};
    ASSERT_EQ(GenSignalGetChannelRealised(h.id, &realised), 0);
    EXPECT_NEAR(realised.snrDb, 30, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Table, HandleChannelRefusal, ::testing::ValuesIn(kSetRefusals),
                         [](const ::testing::TestParamInfo<SetRefusal>& info) { return std::string(info.param.name); });

TEST(HandleChannelRefusal, DeadHandlesAndNullOutputsAreNamed) {
    const GenSignalChannel c = channelOff();
    EXPECT_EQ(GenSignalSetChannel(-3, &c), -1);
    EXPECT_NE(lastError().find("handle -3"), std::string::npos);
    EXPECT_EQ(GenSignalGetChannelRealised(-3, nullptr), -1);
    Handle h;
    EXPECT_EQ(GenSignalGetChannelRealised(h.id, nullptr), -1);
    EXPECT_NE(lastError().find("realised is a null pointer"), std::string::npos);
    GenSignalChannelRealised r{};
    EXPECT_EQ(GenSignalGetChannelRealised(h.id, &r), -1);  // no call yet
}

// What only a call can check: the rules that need the buffer or the rate.
struct CallRefusal {
    const char* name;
    std::function<void(GenSignalChannel&)> change;
    const char* reason;
    bool exactOnly;  // applied and noted in the defined mode
};

// The exact QPSK loop: 32000 samples at 8 MS/s, closing on multiples of 250 Hz.
const CallRefusal kCallRefusals[] = {
    {"cfoOffTheGrid", [](GenSignalChannel& c) { c.cfoHz = 1100; },
     "GenSignalChannel.cfoHz = 1100: not a whole number of cycles over the loop of 32000 samples at sampleRate = "
     "8000000, which closes on multiples of 250 Hz; the nearest that closes is 1000",
     true},
    {"maskBelowResolution",
     [](GenSignalChannel& c) {
         setMask(c, {{100, -80}});
     },
     "GenSignalChannel.phaseNoiseOffsetHz[0] = 100: below the lowest offset the loop of 32000 samples resolves", true},
    {"fewDopplerLines",
     [](GenSignalChannel& c) {
         c.fading = GENSIGNAL_FADING_RAYLEIGH;
         c.dopplerHz = 500;
     },
     "GenSignalChannel.dopplerHz = 500: the loop of 32000 samples (0.004 s) holds 2 Doppler periods", true},
    {"cfoBeyondNyquist", [](GenSignalChannel& c) { c.cfoHz = 4.5e6; }, "GenSignalChannel.cfoHz = 4500000", false},
    {"cnBandBeyondRate",
     [](GenSignalChannel& c) {
         c.noiseMode = GENSIGNAL_NOISE_CN;
         c.noiseDb = 10;
         c.noiseBandwidthHz = 9e6;
     },
     "GenSignalChannel.noiseBandwidthHz = 9000000", false},
};

class HandleChannelCall : public ::testing::TestWithParam<CallRefusal> {};

TEST_P(HandleChannelCall, ExactRefusesWhatBreaksTheLoopTouchingNothing) {
    const CallRefusal& r = GetParam();
    GenSignalChannel c = channelOff(5);
    r.change(c);
    for (bool exact : {false, true}) {
        Handle h;
        ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, exact), 0);
        ASSERT_EQ(GenSignalSetChannel(h.id, &c), 0) << lastError();
        const DigitalModParams p = qpskRecord();
        int16_t sentinel = 0;
        int16_t* iq = &sentinel;
        int count = -9;
        const int rc = GenerateDigitalModWaveform(h.id, &p, kSymbols, &iq, &count, kRate);
        if (!exact && r.exactOnly) {
            EXPECT_EQ(rc, 0) << lastError();
            char note[512];
            GenSignalGetNote(h.id, note, sizeof note);
            // The defined loop is not the exact one's length: the rule is named, not its numbers.
            EXPECT_NE(std::string(note).find(std::string(r.reason).substr(0, 30)), std::string::npos) << note;
            continue;
        }
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(iq, &sentinel);
        EXPECT_EQ(count, -9);
        EXPECT_NE(lastError().find(r.reason), std::string::npos) << lastError();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HandleChannelCall, ::testing::ValuesIn(kCallRefusals),
                         [](const ::testing::TestParamInfo<CallRefusal>& info) {
                             return std::string(info.param.name);
                         });

TEST(HandleChannelCall, MinimumLoopDurationLetsASlowDopplerFit) {
    GenSignalChannel c = channelOff(8);
    c.fading = GENSIGNAL_FADING_RAYLEIGH;
    c.dopplerHz = 500;  // fD T = 2 over one 4 ms loop
    Handle h;
    ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT), 0);
    ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_MIN_LOOP_DURATION, 0.01), 0);
    ASSERT_EQ(GenSignalSetChannel(h.id, &c), 0);
    const Loop got = runOn(h.id, qpskCall(qpskRecord()));
    ASSERT_EQ(got.rc, 0) << got.reason;
    EXPECT_EQ(got.samples(), 3u * 32000);  // three loops: 12 ms, fD T = 6
    GenSignalChannelRealised r{};
    ASSERT_EQ(GenSignalGetChannelRealised(h.id, &r), 0);
    EXPECT_EQ(r.dopplerLines, 2 * 6 + 1);
    EXPECT_LE(seamStep(got), largestStep(got));
}

TEST(HandleChannelCall, EsN0NeedsASymbolRecord) {
    GenSignalChannel c = channelOff(2);
    c.noiseMode = GENSIGNAL_NOISE_ESN0;
    c.noiseDb = 10;
    const AMModParams am{1000, 50, 1};
    Handle h;
    ASSERT_EQ(GenSignalSetChannel(h.id, &c), 0);
    int16_t* iq = nullptr;
    int count = 0;
    EXPECT_EQ(GenerateAmWaveform(h.id, &am, &iq, &count, 48000), -1);
    EXPECT_NE(lastError().find("needs the samples per symbol"), std::string::npos) << lastError();
    c.samplesPerSymbol = 4;  // stated in the record instead
    ASSERT_EQ(GenSignalSetChannel(h.id, &c), 0);
    EXPECT_EQ(GenerateAmWaveform(h.id, &am, &iq, &count, 48000), 0) << lastError();
}

// Excess kurtosis per rail and the CCDF at 1e-4 in dB above the mean power.
struct Shape {
    double kurtosis[2];
    double ccdfDb;
};

Shape shapeOf(const std::vector<int16_t>& iq) {
    const size_t n = iq.size() / 2;
    double m2[2] = {}, m4[2] = {}, mean = 0;
    std::vector<double> power(n);
    for (size_t i = 0; i < n; ++i) {
        for (int k = 0; k < 2; ++k) {
            const double v = iq[2 * i + k], s = v * v;
            m2[k] += s;
            m4[k] += s * s;
        }
        power[i] = static_cast<double>(iq[2 * i]) * iq[2 * i] + static_cast<double>(iq[2 * i + 1]) * iq[2 * i + 1];
        mean += power[i];
    }
    mean /= static_cast<double>(n);
    Shape s{};
    for (int k = 0; k < 2; ++k) {
        const double var = m2[k] / n;
        s.kurtosis[k] = m4[k] / n / (var * var) - 3;
    }
    std::nth_element(power.begin(), power.begin() + n / 10000, power.end(), std::greater<double>());
    s.ccdfDb = 10 * std::log10(power[n / 10000] / mean);
    return s;
}

TEST(HandleNoiseSource, ChannelDrawsStayGaussianBandLimitedInBothModes) {
    // 4 10^6 samples band-limited to 5 % of the rate: excess kurtosis within
    // +-0.02 per rail, the CCDF at 1e-4 within 0.15 dB of 9.64 dB.
    const AWGNParams p{2e5, 1};
    const Call call = [p](int h, int16_t** iq, int* n) { return GenerateAWGNWaveform(h, &p, iq, n, 4e6); };
    for (bool exact : {false, true})
        for (uint64_t seed : {1ull, 2ull, 3ull}) {
            Handle h;
            ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, exact), 0);
            ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_NOISE_SOURCE, GENSIGNAL_NOISE_SOURCE_CHANNEL), 0);
            const GenSignalChannel c = channelOff(seed);
            ASSERT_EQ(GenSignalSetChannel(h.id, &c), 0);
            const Loop got = runOn(h.id, call);
            ASSERT_EQ(got.rc, 0) << got.reason;
            ASSERT_EQ(got.samples(), 4000000u);
            const Shape s = shapeOf(got.iq);
            for (int k = 0; k < 2; ++k) EXPECT_NEAR(s.kurtosis[k], 0, 0.02) << "seed " << seed << " rail " << k;
            EXPECT_NEAR(s.ccdfDb, 9.64, 0.15) << "seed " << seed << " exact " << exact;
        }
}

TEST(HandleNoiseSource, DrawsAreTheSeedsAlone) {
    const AWGNParams p{1e5, 2e-3};
    const Call call = [p](int h, int16_t** iq, int* n) { return GenerateAWGNWaveform(h, &p, iq, n, 1e6); };
    auto under = [&](uint64_t seed, bool set, int source) {
        Handle h;
        EXPECT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_NOISE_SOURCE, source), 0);
        const GenSignalChannel c = channelOff(seed);
        if (set) {
            EXPECT_EQ(GenSignalSetChannel(h.id, &c), 0);
        }
        return runOn(h.id, call).iq;
    };
    const std::vector<int16_t> a = under(7, true, 1);
    std::rand();  // rand()'s stream plays no part
    EXPECT_EQ(under(7, true, 1), a);
    EXPECT_NE(under(8, true, 1), a);
    EXPECT_EQ(under(0, false, 1), under(0, true, 1));  // no channel: seed 0
    EXPECT_NE(under(7, true, 0), a);
    Handle h;
    double v = 0;
    EXPECT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_NOISE_SOURCE, 2), -1);
    EXPECT_NE(lastError().find("GENSIGNAL_OPTION_NOISE_SOURCE = 2: must be 0 (defined) or 1 (channel)"),
              std::string::npos)
        << lastError();
    EXPECT_EQ(GenSignalGetOption(h.id, GENSIGNAL_OPTION_NOISE_SOURCE, &v), 0);
    EXPECT_EQ(v, 0);
}

}  // namespace
