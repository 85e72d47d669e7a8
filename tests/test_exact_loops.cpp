// The exact loop mode, kind by kind, at the sample rates hardware uses
// (44.1 and 48 kS/s, 1, 10, 30.72 and 61.44 MS/s) against records whose
// natural rate differs: the fewest whole periods, a seam no larger than the
// steps inside, the loop information; the same bits at any thread count and
// with either kernel variant; and the refusals.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <string>
#include <vector>

#include "exactModeSupport.h"
#include "kernelVariants.h"

namespace {

using namespace testing_support;

constexpr double kRates[] = {44100, 48000, 1e6, 10e6, 30.72e6, 61.44e6};

bool audio(double fs) { return fs < 1e6; }

DigitalModParams digitalRecord(DigitalModulType kind, double symbolRate) {
    DigitalModParams p;
    std::memset(&p, 0, sizeof p);
    p.modType = kind;
    p.symbolRate = symbolRate;
    p.freqDeviation = symbolRate / 4;
    p.pnOrder = 9;
    p.pnSeed = 0x5a;
    p.filterType = kind == FSK2 ? GAUSSIAN : RRCOS;
    p.filterSpan = 6;
    p.samplesPerSymbol = 8;
    p.rolloff = kind == FSK2 ? 0.5 : 0.35;
    return p;
}

// A record, the whole-number fraction of samples per natural period it
// should have at the rate, and the call.
struct KindCase {
    std::string name;
    Fraction samplesPerPeriod;
    Call call;
};

// Every kind at `fs` (a whole number of samples per second).
std::vector<KindCase> kindsAt(double fs) {
    const int64_t rate = static_cast<int64_t>(fs);
    std::vector<KindCase> cases;
    {
        // 8 tones, 1 kHz apart at the audio rates, 100 kHz above: a period of
        // 2 fs / spacing samples.
        const int64_t spacing = audio(fs) ? 1000 : 100000;
        const MultitoneParams p{{0}, 8, static_cast<double>(spacing)};
        cases.push_back({"multitone", fraction(2 * rate, spacing),
                         [=](int h, int16_t** iq, int* n) { return GenerateMultitoneWaveform(h, &p, iq, n, fs); }});
    }
    {
        // 100 QPSK symbols: 100 fs / Rs samples.
        const int64_t symbolRate = audio(fs) ? 9600 : fs < 5e6 ? 300000 : 1023000;
        const DigitalModParams p = digitalRecord(QPSK, static_cast<double>(symbolRate));
        cases.push_back(
            {"qpsk", fraction(100 * static_cast<__int128>(rate), symbolRate),
             [=](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &p, 100, iq, n, fs); }});
    }
    {
        // 8 bits of 31 (audio) or 127 chips: 8 fs / bit rate samples.
        DSSParams p;
        std::memset(&p, 0, sizeof p);
        const int64_t bitRate = audio(fs) ? 100 : 1000;
        p.bitRate = static_cast<double>(bitRate);
        p.modType = BPSK;
        p.pnOrder = audio(fs) ? 5 : 7;
        p.filterSpan = 6;
        p.samplesPerChip = 4;
        p.rolloff = 0.35;
        p.pnSeed = 3;
        p.filterType = RRCOS;
        cases.push_back({"dss", fraction(8 * static_cast<__int128>(rate), bitRate),
                         [=](int h, int16_t** iq, int* n) { return GenerateDssWaveform(h, &p, 8, iq, n, fs); }});
    }
    {
        // A 1100 Hz modulation: fs / 1100 samples a period, whole after 11
        // (or fewer) periods; the defined length is not whole.
        const AMModParams am{1100.0, 50.0, 3};
        cases.push_back({"am", fraction(rate, 1100),
                         [=](int h, int16_t** iq, int* n) { return GenerateAmWaveform(h, &am, iq, n, fs); }});
        const FMModParams fm{1100.0, 5000.0, 1};
        cases.push_back({"fm", fraction(rate, 1100),
                         [=](int h, int16_t** iq, int* n) { return GenerateFmWaveform(h, &fm, iq, n, fs); }});
    }
    {
        // A 0.23 ms pulse period: 23 fs / 100000 samples.
        const PulseParams p{0.05e-3, 0.23e-3};
        cases.push_back({"pulse", fraction(23 * static_cast<__int128>(rate), 100000),
                         [=](int h, int16_t** iq, int* n) { return GeneratePulseWaveform(h, &p, iq, n, fs); }});
    }
    {
        // 4 steps of 10 ms, 5 ramps of 10 ms in 20 ms: whole at every rate.
        const StepSweepParams step{-2000, 4000, 4, 10e-3};
        cases.push_back({"stepsweep", fraction(4 * static_cast<__int128>(rate), 100),
                         [=](int h, int16_t** iq, int* n) { return GenerateStepSweepWaveform(h, &step, iq, n, fs); }});
        const RampSweepParams ramp{audio(fs) ? 10e3 : 400e3, 10e-3, 20e-3};
        cases.push_back({"rampsweep", fraction(2 * static_cast<__int128>(rate), 100),
                         [=](int h, int16_t** iq, int* n) { return GenerateRampSweepWaveform(h, &ramp, iq, n, fs); }});
        const AWGNParams noise{fs / 4, 10e-3};
        cases.push_back({"awgn", fraction(static_cast<__int128>(rate), 100),
                         [=](int h, int16_t** iq, int* n) { return GenerateAWGNWaveform(h, &noise, iq, n, fs); }});
    }
    {
        // 4 symbols of 64 + 16: 320 samples whatever the rate.
        OFDMParams p;
        std::memset(&p, 0, sizeof p);
        p.fftSize = 64;
        p.numSymbols = 4;
        p.guardLow = 6;
        p.guardHigh = 5;
        p.cpPercent = 25;
        p.modType = QPSK;
        p.nullDC = 1;
        cases.push_back({"ofdm", fraction(320, 1),
                         [=](int h, int16_t** iq, int* n) { return GenerateOFDMWaveform(h, &p, iq, n, fs); }});
    }
    return cases;
}

class ExactLoopAtRate : public ::testing::TestWithParam<double> {};

TEST_P(ExactLoopAtRate, EveryKindHoldsTheFewestWholePeriodsAndASeamlessLoop) {
    const double fs = GetParam();
    for (const KindCase& c : kindsAt(fs)) {
        SCOPED_TRACE(c.name + " at " + std::to_string(fs));
        const Loop l = exactLoop(c.call);
        ASSERT_EQ(l.rc, 0) << l.reason;
        // The fewest periods: the reduced fraction's denominator.
        const __int128 periods = c.samplesPerPeriod.den;
        EXPECT_EQ(static_cast<__int128>(l.samples()), c.samplesPerPeriod.num);
        EXPECT_EQ(l.info.periods, static_cast<int32_t>(periods));
        EXPECT_EQ(l.info.samples, static_cast<int32_t>(l.samples()));
        EXPECT_EQ(l.info.wholePeriods, 1);
        EXPECT_NEAR(l.info.samplesPerPeriod,
                    static_cast<double>(c.samplesPerPeriod.num) / static_cast<double>(c.samplesPerPeriod.den), 1e-6);
        EXPECT_DOUBLE_EQ(l.info.loopDuration, static_cast<double>(l.samples()) / fs);
        // A pulse starts high at the first sample: its band-limited rising
        // edge sits on the seam, where it is as steep as an edge gets.
        EXPECT_LE(seamStep(l), largestStep(l) * (c.name == "pulse" ? 1.02 : 1.0) + 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(HardwareRates, ExactLoopAtRate, ::testing::ValuesIn(kRates));

// FSK: the loop is also as many periods as bring the phase back.
TEST_P(ExactLoopAtRate, FskClosesItsPhaseToo) {
    const double fs = GetParam();
    const int64_t symbolRate = audio(fs) ? 9600 : fs < 5e6 ? 300000 : 1023000;
    const DigitalModParams p = digitalRecord(FSK2, static_cast<double>(symbolRate));
    const Loop l =
        exactLoop([&](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &p, 100, iq, n, fs); });
    ASSERT_EQ(l.rc, 0) << l.reason;
    const Fraction k = fraction(100 * static_cast<__int128>(fs), symbolRate);
    EXPECT_EQ(l.info.periods % k.den, 0);
    EXPECT_EQ(static_cast<__int128>(l.samples()), l.info.periods / k.den * k.num);
    // Continuous phase: the phase step across the seam is one of the steps
    // inside (to a 16-bit rounding).
    const double seam = std::arg(l.at(0) * std::conj(l.at(l.samples() - 1)));
    double lo = 1e9, hi = -1e9;
    for (size_t i = 1; i < l.samples(); ++i) {
        const double step = std::arg(l.at(i) * std::conj(l.at(i - 1)));
        lo = std::min(lo, step);
        hi = std::max(hi, step);
    }
    EXPECT_GE(seam, lo - 1e-3);
    EXPECT_LE(seam, hi + 1e-3);
}

}  // namespace
