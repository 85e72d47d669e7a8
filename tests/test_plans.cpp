// Every entry point makes its record's plan once per call: the pre-sized
// array and the generator read the same plan, and no building block checks
// the record again.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "planCount.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::Handle;

struct EntryCall {
    const char* name;
    std::function<int(int, int16_t**, int*)> call;
    int code;  // what the call answers
};
void PrintTo(const EntryCall& c, std::ostream* os) { *os << c.name; }

class OnePlanPerCall : public ::testing::TestWithParam<EntryCall> {};

TEST_P(OnePlanPerCall, AcceptedOrRefused) {
    const Handle h;
    int16_t* iq = nullptr;
    int count = 0;
    const unsigned long before = plansMade();
    EXPECT_EQ(GetParam().call(h.id, &iq, &count), GetParam().code);
    EXPECT_EQ(plansMade() - before, 1u);
}

DigitalModParams digital(DigitalModulType type) {
    DigitalModParams p{};
    p.modType = type;
    p.symbolRate = 1e6;
    p.freqDeviation = 2e5;
    p.pnOrder = 9;
    p.pnSeed = 5;
    p.filterType = RRCOS;
    p.filterSpan = 6;
    p.samplesPerSymbol = 4;
    p.rolloff = 0.35;
    return p;
}

const DigitalModParams kQpsk = digital(QPSK), kFsk4 = digital(FSK4);
const DSSParams kDss{1e3, BPSK, 5, 4, 4, 0.3, 1, RRCOS};
const AMModParams kAm{1000, 50, 3};
const FMModParams kFm{1000, 5000, 2};
const MultitoneParams kMultitone{{0}, 4, 1000};
const PulseParams kPulse{1e-3, 4e-3};
const StepSweepParams kStep{0, 1000, 4, 1e-3};
const RampSweepParams kRamp{1e5, 1e-3, 2e-3};
const AWGNParams kNoise{1e5, 1e-3}, kNoNoise{-1, 1e-3};
const OFDMParams kOfdm{{0}, 64, 10, 6, 5, 25, {0}, 1, QAM16, 1};

INSTANTIATE_TEST_SUITE_P(
    EntryPoints, OnePlanPerCall,
    ::testing::Values(
        EntryCall{"Digital",
                  [](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &kQpsk, 100, iq, n, 5e6); },
                  0},
        EntryCall{"Fsk",
                  [](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &kFsk4, 100, iq, n, 5e6); },
                  0},
        EntryCall{"DigitalRefused",
                  [](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &kQpsk, 0, iq, n, 5e6); }, -1},
        EntryCall{"Dss", [](int h, int16_t** iq, int* n) { return GenerateDssWaveform(h, &kDss, 4, iq, n, 2e5); }, 0},
        EntryCall{"Am", [](int h, int16_t** iq, int* n) { return GenerateAmWaveform(h, &kAm, iq, n, 48000); }, 0},
        EntryCall{"Fm", [](int h, int16_t** iq, int* n) { return GenerateFmWaveform(h, &kFm, iq, n, 48000); }, 0},
        EntryCall{"Multitone",
                  [](int h, int16_t** iq, int* n) { return GenerateMultitoneWaveform(h, &kMultitone, iq, n, 1e6 + 3); },
                  0},
        EntryCall{"Pulse", [](int h, int16_t** iq, int* n) { return GeneratePulseWaveform(h, &kPulse, iq, n, 1e6); },
                  0},
        EntryCall{"PulseResampled",
                  [](int h, int16_t** iq, int* n) { return GeneratePulseWaveform(h, &kPulse, iq, n, 1e6 + 0.5); }, 0},
        EntryCall{"StepSweep",
                  [](int h, int16_t** iq, int* n) { return GenerateStepSweepWaveform(h, &kStep, iq, n, 1e6); }, 0},
        EntryCall{"RampSweep",
                  [](int h, int16_t** iq, int* n) { return GenerateRampSweepWaveform(h, &kRamp, iq, n, 1e6); }, 0},
        EntryCall{"Awgn", [](int h, int16_t** iq, int* n) { return GenerateAWGNWaveform(h, &kNoise, iq, n, 1e6); }, 0},
        EntryCall{"AwgnRefused",
                  [](int h, int16_t** iq, int* n) { return GenerateAWGNWaveform(h, &kNoNoise, iq, n, 1e6); }, -1},
        EntryCall{"Ofdm", [](int h, int16_t** iq, int* n) { return GenerateOFDMWaveform(h, &kOfdm, iq, n, 1e6); }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
