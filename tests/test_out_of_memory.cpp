// Running out of memory, provoked in child processes whose address space is
// capped just above what they hold: each generator answers its code with a
// reason that says what could not be had, writes nothing and keeps nothing;
// the frame keeps the old I/Q buffer, its contents and the count.
#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "genSignalClass.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::exitUnderAddressSpaceCap;
using testing_support::Handle;
using testing_support::kAddressSpaceCapUsable;
using testing_support::lastError;
using cf = std::complex<float>;

constexpr size_t kMiB = size_t{1} << 20;

// What a starved call gave back; 0 when it is what `code` and `reason` say,
// otherwise bits naming what went wrong (printed for the parent to show).
int verdict(int rc, bool untouched, int code, const std::string& reason) {
    const std::string why = lastError();
    std::fprintf(stderr, "rc %d, %s, \"%s\"\n", rc, untouched ? "untouched" : "written", why.c_str());
    return (rc != code ? 1 : 0) | (untouched ? 0 : 2) | (why != reason ? 4 : 0);
}

// A generator method that allocates its samples, called with sentinels.
template <class Params, class Sample>
std::function<int(int, const std::string&)> allocating(int (GenSignalClass::*method)(Params const*, double, Sample**,
                                                                                     int*),
                                                       Params p, double rate) {
    return [=](int code, const std::string& reason) {
        GenSignalClass obj;
        Sample marker{};
        Sample* samples = &marker;
        int count = -7;
        const int rc = (obj.*method)(&p, rate, &samples, &count);
        return verdict(rc, samples == &marker && count == -7, code, reason);
    };
}

// A generator method that fills the caller's array of `room` samples (itself
// allocated under the cap).
template <class Params>
std::function<int(int, const std::string&)> presized(int (GenSignalClass::*method)(Params const*, double, cf*, int*),
                                                     Params p, double rate, size_t room) {
    return [=](int code, const std::string& reason) {
        GenSignalClass obj;
        std::vector<cf> samples(room, cf(-42.0f, 42.0f));
        int count = -7;
        const int rc = (obj.*method)(&p, rate, samples.data(), &count);
        return verdict(rc, count == -7 && samples.back() == cf(-42.0f, 42.0f), code, reason);
    };
}

MultitoneParams multitone(int toneCount, double spacing) {
    MultitoneParams p{};
    p.toneCount = toneCount;
    p.toneSpacing = spacing;
    return p;
}

OFDMParams ofdm(int n, int symbols) {
    OFDMParams p{};
    p.fftSize = n;
    p.numSymbols = symbols;
    p.cpPercent = 25;
    p.modType = QAM256;
    return p;
}

struct Starved {
    const char* name;
    std::function<int(int, const std::string&)> call;
    size_t headroomMiB;  // address space granted beyond what the child maps
    int code;
    const char* reason;
};
void PrintTo(const Starved& s, std::ostream* os) { *os << s.name; }

class OutOfMemory : public ::testing::TestWithParam<Starved> {};

TEST_P(OutOfMemory, AnswersItsCodeSaysWhatAndKeepsNothing) {
    if (!kAddressSpaceCapUsable) GTEST_SKIP() << "address-space cap unusable under sanitizers";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Starved& c = GetParam();
    EXPECT_EXIT(exitUnderAddressSpaceCap(c.headroomMiB * kMiB, [&] { return c.call(c.code, c.reason); }),
                ::testing::ExitedWithCode(0), "");
}

// Array sizes: AM 3333333 doubles, FM as many complex samples (about 27 MB),
// multitone 20e6 or 2e6 samples, pulse 10e6 or 5e6 floats, AWGN 2e7 samples
// (the 160 MB fit, the 2.5 MB overlap beside them does not), OFDM 1000
// symbols of 1024 + 256. The ramp sweep has no working array of its own.
INSTANTIATE_TEST_SUITE_P(
    Generators, OutOfMemory,
    ::testing::Values(Starved{"AmEnvelope", allocating(&GenSignalClass::genAMSig, AMModParams{3, 50, 1}, 1000), 8, -1,
                              "out of memory: 26666664 bytes for the AM envelope"},
                      Starved{"FmSamples", allocating(&GenSignalClass::genFMSig, FMModParams{3, 100, 1}, 1000), 8, -1,
                              "out of memory: 26666664 bytes for the FM samples"},
                      Starved{"MultitonePattern", allocating(&GenSignalClass::genMultitoneSig, multitone(2, 1), 1e7),
                              64, -1, "out of memory: 160000000 bytes for the tone pattern"},
                      Starved{"MultitoneResampled",
                              allocating(&GenSignalClass::genMultitoneSig, multitone(2, 1), 1e6 + 0.25), 24, -1,
                              "out of memory: 16000040 bytes for the resampled pattern"},
                      Starved{"PulsePeriod", allocating(&GenSignalClass::genPulseSig, PulseParams{0.1, 1}, 1e7), 16, -1,
                              "out of memory: 40000000 bytes for the pulse period"},
                      Starved{"PulseResampled",
                              allocating(&GenSignalClass::genPulseSig, PulseParams{0.1, 0.5}, 1e7 + 0.3), 28, -1,
                              "out of memory: 20000004 bytes for the resampled pulse"},
                      Starved{"AwgnOverlap", presized(&GenSignalClass::genAWGNSig, AWGNParams{1e5, 20}, 1e6, 20000000),
                              153, -1, "out of memory: 2481072 bytes for the noise blocks' overlap"},
                      Starved{"OfdmDataBits", allocating(&GenSignalClass::genOFDMSig, ofdm(1024, 1000), 1e6), 4, -3,
                              "out of memory: 8192000 bytes for the data bits"},
                      Starved{"OfdmFrame", allocating(&GenSignalClass::genOFDMSig, ofdm(1024, 1000), 1e6), 10, -3,
                              "out of memory: 10240000 bytes for the OFDM frame"},
                      Starved{"PresizedArray",
                              [](int code, const std::string& reason) {
                                  const Handle h;
                                  const StepSweepParams p{0, 1000, 2, 1.0};
                                  int16_t sentinel = 0;
                                  int16_t* iq = &sentinel;
                                  int count = -7;
                                  const int rc = GenerateStepSweepWaveform(h.id, &p, &iq, &count, 1e7);
                                  return verdict(rc, iq == &sentinel && count == -7, code, reason);
                              },
                              64, -1, "out of memory: 160000000 bytes for the samples"}),
    [](const auto& info) { return std::string(info.param.name); });

// Growing the I/Q buffer needs no second array: the samples are converted
// where they lie and their array becomes the buffer. 3333333 samples: the
// 26.7 MB envelope fits under the cap, the 13.3 MB buffer beside it would not.
[[noreturn]] void growUnderTheCap() {
    const AMModParams threeHertz{3, 50, 1};
    exitUnderAddressSpaceCap(32 * kMiB, [&] {
        const int h = GenSignalObjCreatSelfEncode();
        int16_t* iq = nullptr;
        int count = 0;
        const int rc = GenerateAmWaveform(h, &threeHertz, &iq, &count, 1000);
        const bool whole = iq != nullptr && count == 2 * 3333333;
        GenSignalObjRelease(h);
        return verdict(rc, whole, 0, "");
    });
}

TEST(OutOfMemoryFrame, GrowingTheIqBufferNeedsNoSecondArray) {
    if (!kAddressSpaceCapUsable) GTEST_SKIP() << "address-space cap unusable under sanitizers";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(growUnderTheCap(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
