// Bounded work: records whose work would be absurd for their result are
// refused with a reason before anything is computed, and the limits
// themselves are accepted. Not timed: each call must return (CTest's
// timeout catches one that does not) with the code and count stated.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::expectRefusal;
using testing_support::Handle;
using testing_support::lastError;

using Call = std::function<int(int handle, int16_t** iq, int* count)>;

DigitalModParams digital(DigitalModulType type, double symbolRate, FilterType filter, int span, int sps) {
    return DigitalModParams{type, symbolRate, 0.0, 9, 1, filter, span, sps, 0.35};
}

Call digitalCall(DigitalModParams p, int symbolCount, double rate) {
    return [=](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &p, symbolCount, iq, n, rate); };
}

Call dssCall(DSSParams p, int bitCount, double rate) {
    return [=](int h, int16_t** iq, int* n) { return GenerateDssWaveform(h, &p, bitCount, iq, n, rate); };
}

struct Absurd {
    const char* name;
    Call call;
    const char* reason;
};

void PrintTo(const Absurd& c, std::ostream* os) { *os << c.name; }

class AbsurdWork : public ::testing::TestWithParam<Absurd> {};

TEST_P(AbsurdWork, IsRefusedWithItsReason) {
    Handle h;
    expectRefusal([&](int16_t** iq, int* n) { return GetParam().call(h.id, iq, n); }, GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Records, AbsurdWork,
    ::testing::Values(
        // 2^19 shaped samples at 65.5 MHz for 16 output samples.
        Absurd{"RaisedCosineAt65536SamplesPerSymbolTo16Samples",
               digitalCall(digital(BPSK, 1000, RCOS, 8, 65536), 8, 2000),
               "sampleRate = 2000: must be at least 1/1024 of the symbol-locked rate 65536000"},
        // 2^28 samples of four rectangular symbols.
        Absurd{"RectangularAt2To26SamplesPerSymbol", digitalCall(digital(BPSK, 1000, RECT, 1, 1 << 26), 4, 8000),
               "sampleRate = 8000: must be at least 1/1024 of the symbol-locked rate 67108864000"},
        // One bit of 31 chips at 4096 samples each, for 100 samples.
        Absurd{"SpreadBitAt4096SamplesPerChipTo100Samples",
               dssCall(DSSParams{1000, BPSK, 5, 31, 4096, 0.35, 1, RRCOS}, 1, 1e5),
               "sampleRate = 100000: must be at least 1/1024 of the chip-locked rate 126976000"},
        // 2^26 FSK samples (536 MB of working arrays) for 16 output samples.
        Absurd{"Fsk4MillionSymbolsTo16Samples", digitalCall(digital(FSK4, 9437184, RECT, 1, 16), 4194304, 36),
               "sampleRate = 36: must be at least 1/1024 of the symbol-locked rate 150994944"},
        // Every shaped sample would sum 1026 symbols.
        Absurd{"DigitalSpanAboveTheLimit", digitalCall(digital(QPSK, 1e6, RRCOS, 1025, 1), 4000, 1e6),
               "DigitalModParams.filterSpan = 1025: must be at most 1024"},
        Absurd{"SpreadSpanAboveTheLimit", dssCall(DSSParams{1000, BPSK, 11, 1025, 1, 0.35, 1, RCOS}, 1, 2047000),
               "DSSParams.filterSpan = 1025: must be at most 1024"}),
    [](const auto& info) { return std::string(info.param.name); });

struct AtTheLimit {
    const char* name;
    Call call;
    int count;  // int16 values
};

void PrintTo(const AtTheLimit& c, std::ostream* os) { *os << c.name; }

class WorkAtTheLimit : public ::testing::TestWithParam<AtTheLimit> {};

TEST_P(WorkAtTheLimit, IsAccepted) {
    Handle h;
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GetParam().call(h.id, &iq, &count), 0) << lastError();
    EXPECT_EQ(count, GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(
    Records, WorkAtTheLimit,
    ::testing::Values(
        // The sample rate exactly 1/1024 of the symbol-locked rate: one
        // sample per symbol.
        AtTheLimit{"DigitalRateDividedBy1024", digitalCall(digital(BPSK, 1000, RECT, 1, 1024), 8, 1000), 16},
        AtTheLimit{"SpreadRateDividedBy1024", dssCall(DSSParams{1000, BPSK, 4, 1, 1024, 0.35, 1, RECT}, 2, 15000), 60},
        // The refused records above at exactly 1/1024 of their locked rate:
        // linear in the shaped samples, a few bytes of work memory each.
        AtTheLimit{"RaisedCosineAt65536SamplesPerSymbol", digitalCall(digital(BPSK, 1000, RCOS, 8, 65536), 8, 64000),
                   1024},
        AtTheLimit{"RectangularAt2To26SamplesPerSymbol",
                   digitalCall(digital(BPSK, 1000, RECT, 1, 1 << 26), 4, 65536000), 524288},
        AtTheLimit{"SpreadBitAt4096SamplesPerChip",
                   dssCall(DSSParams{1000, BPSK, 5, 31, 4096, 0.35, 1, RRCOS}, 1, 124000), 248},
        AtTheLimit{"Fsk4MillionSymbols", digitalCall(digital(FSK4, 9437184, RECT, 1, 16), 4194304, 147456), 131074},
        // Spans of 1024 symbols (chips): 1025 taps at one sample each.
        AtTheLimit{"DigitalSpan1024", digitalCall(digital(QPSK, 1e6, RRCOS, 1024, 1), 1024, 1e6), 2048},
        AtTheLimit{"SpreadSpan1024", dssCall(DSSParams{1000, BPSK, 10, 1024, 1, 0.35, 1, RCOS}, 2, 1023000), 4092}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
