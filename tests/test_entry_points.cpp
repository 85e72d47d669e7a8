// What every entry point and generator method does with a pointer it cannot
// use or a handle that is not live: -1, nothing written, and a reason that
// names the pointer or the handle. One table over all of them.
#include <gtest/gtest.h>

#include <complex>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "genSignalClass.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::Handle;
using testing_support::lastError;

// An entry point called with a valid record, or with a null record.
struct EntryPoint {
    const char* name;
    std::function<int(int handle, bool nullParams, int16_t** iq, int* count)> call;
};
void PrintTo(const EntryPoint& e, std::ostream* os) { *os << e.name; }

template <class Params, class Call>
EntryPoint entryPoint(const char* name, Params params, Call call) {
    return {name, [=](int handle, bool nullParams, int16_t** iq, int* count) {
                return call(handle, nullParams ? nullptr : &params, iq, count);
            }};
}

MultitoneParams multitone() {
    MultitoneParams p{};
    p.toneCount = 4;
    p.toneSpacing = 300;
    return p;
}

OFDMParams ofdm() {
    OFDMParams p{};
    p.fftSize = 64;
    p.numSymbols = 1;
    p.guardLow = 6;
    p.guardHigh = 5;
    p.cpPercent = 25;
    p.modType = QPSK;
    p.nullDC = 1;
    return p;
}

const std::vector<EntryPoint> kEntryPoints = {
    entryPoint("GenerateDigitalModWaveform", DigitalModParams{QPSK, 1e6, 0, 9, 1, RRCOS, 6, 8, 0.35},
               [](int h, const DigitalModParams* p, int16_t** iq, int* n) {
                   return GenerateDigitalModWaveform(h, p, 100, iq, n, 8e6);
               }),
    entryPoint(
        "GenerateDssWaveform", DSSParams{1000, BPSK, 4, 6, 2, 0.35, 1, RECT},
        [](int h, const DSSParams* p, int16_t** iq, int* n) { return GenerateDssWaveform(h, p, 2, iq, n, 30000); }),
    entryPoint(
        "GenerateAmWaveform", AMModParams{1000, 50, 1},
        [](int h, const AMModParams* p, int16_t** iq, int* n) { return GenerateAmWaveform(h, p, iq, n, 48000); }),
    entryPoint(
        "GenerateFmWaveform", FMModParams{1000, 100, 1},
        [](int h, const FMModParams* p, int16_t** iq, int* n) { return GenerateFmWaveform(h, p, iq, n, 48000); }),
    entryPoint("GenerateMultitoneWaveform", multitone(),
               [](int h, const MultitoneParams* p, int16_t** iq, int* n) {
                   return GenerateMultitoneWaveform(h, p, iq, n, 1e6);
               }),
    entryPoint(
        "GeneratePulseWaveform", PulseParams{1e-3, 4e-3},
        [](int h, const PulseParams* p, int16_t** iq, int* n) { return GeneratePulseWaveform(h, p, iq, n, 1e6); }),
    entryPoint("GenerateStepSweepWaveform", StepSweepParams{0, 1000, 2, 1e-3},
               [](int h, const StepSweepParams* p, int16_t** iq, int* n) {
                   return GenerateStepSweepWaveform(h, p, iq, n, 1e6);
               }),
    entryPoint("GenerateRampSweepWaveform", RampSweepParams{1e5, 1e-3, 2e-3},
               [](int h, const RampSweepParams* p, int16_t** iq, int* n) {
                   return GenerateRampSweepWaveform(h, p, iq, n, 1e6);
               }),
    entryPoint("GenerateAWGNWaveform", AWGNParams{1e5, 1e-3},
               [](int h, const AWGNParams* p, int16_t** iq, int* n) { return GenerateAWGNWaveform(h, p, iq, n, 1e6); }),
    entryPoint("GenerateOFDMWaveform", ofdm(),
               [](int h, const OFDMParams* p, int16_t** iq, int* n) { return GenerateOFDMWaveform(h, p, iq, n, 1e6); }),
};

enum class Fault { NullParams, NullIq, NullCount, NeverHandedOut, Negative, Released };

struct FaultCase {
    const char* name;
    Fault fault;
};
void PrintTo(const FaultCase& f, std::ostream* os) { *os << f.name; }

class EntryPointRefusal : public ::testing::TestWithParam<std::tuple<EntryPoint, FaultCase>> {};

TEST_P(EntryPointRefusal, MinusOneNothingWrittenAndTheReason) {
    const EntryPoint& entry = std::get<0>(GetParam());
    const Fault fault = std::get<1>(GetParam()).fault;
    Handle live;
    int handle = live.id;
    std::string reason;
    const std::string name = entry.name;
    switch (fault) {
        case Fault::NullParams: reason = name + ": params is a null pointer"; break;
        case Fault::NullIq: reason = name + ": iq is a null pointer"; break;
        case Fault::NullCount: reason = name + ": count is a null pointer"; break;
        case Fault::NeverHandedOut: handle = 1000000000; break;
        case Fault::Negative: handle = -5; break;
        case Fault::Released: {
            handle = GenSignalObjCreatSelfEncode();
            ASSERT_EQ(GenSignalObjRelease(handle), 0);
            break;
        }
    }
    if (reason.empty()) reason = "handle " + std::to_string(handle) + " is not a live generator object";

    int16_t sentinel = 0;
    int16_t* iq = &sentinel;
    int count = -12345;
    const int rc = entry.call(handle, fault == Fault::NullParams, fault == Fault::NullIq ? nullptr : &iq,
                              fault == Fault::NullCount ? nullptr : &count);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(iq, &sentinel) << "iq was written";
    EXPECT_EQ(count, -12345) << "count was written";
    EXPECT_EQ(lastError(), reason);
}

INSTANTIATE_TEST_SUITE_P(AllEntryPoints, EntryPointRefusal,
                         ::testing::Combine(::testing::ValuesIn(kEntryPoints),
                                            ::testing::Values(FaultCase{"NullParams", Fault::NullParams},
                                                              FaultCase{"NullIq", Fault::NullIq},
                                                              FaultCase{"NullCount", Fault::NullCount},
                                                              FaultCase{"NeverHandedOut", Fault::NeverHandedOut},
                                                              FaultCase{"NegativeId", Fault::Negative},
                                                              FaultCase{"ReleasedId", Fault::Released})),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name).substr(8) + std::get<1>(info.param).name;
                         });

// The same entry points succeed with those records on a live handle, so the
// refusals above are the pointer's or the handle's doing alone.
TEST(EntryPointRecords, AreAcceptedOnALiveHandle) {
    for (const EntryPoint& entry : kEntryPoints) {
        const Handle h;
        int16_t* iq = nullptr;
        int count = 0;
        EXPECT_EQ(entry.call(h.id, false, &iq, &count), 0) << entry.name << ": " << lastError();
        EXPECT_GT(count, 0) << entry.name;
    }
}

// Generator methods called without one of their pointers.
enum class Missing { Params, Samples, SampleCount };

struct Outcome {
    int rc;
    bool untouched;  // the pointers that were given still hold what they held
};

struct Method {
    const char* name;
    std::function<Outcome(Missing)> call;
};
void PrintTo(const Method& m, std::ostream* os) { *os << m.name; }

// A method that allocates its samples: (record, rate, Sample**, int*).
template <class Params, class Sample>
Method allocating(const char* name, int (GenSignalClass::*method)(Params const*, double, Sample**, int*), Params p,
                  double rate) {
    return {name, [=](Missing m) {
                GenSignalClass obj;
                Sample marker{};
                Sample* samples = &marker;
                int count = -7;
                const int rc =
                    (obj.*method)(m == Missing::Params ? nullptr : &p, rate, m == Missing::Samples ? nullptr : &samples,
                                  m == Missing::SampleCount ? nullptr : &count);
                return Outcome{rc, samples == &marker && count == -7};
            }};
}

// A method that fills the caller's array: (record, rate, complex*, int*).
template <class Params>
Method presized(const char* name, int (GenSignalClass::*method)(Params const*, double, std::complex<float>*, int*),
                Params p, double rate) {
    return {name, [=](Missing m) {
                GenSignalClass obj;
                const std::complex<float> untouched(-42.0f, 42.0f);
                std::vector<std::complex<float>> samples(4096, untouched);
                int count = -7;
                const int rc = (obj.*method)(m == Missing::Params ? nullptr : &p, rate,
                                             m == Missing::Samples ? nullptr : samples.data(),
                                             m == Missing::SampleCount ? nullptr : &count);
                bool same = count == -7;
                for (const auto& s : samples) same = same && s == untouched;
                return Outcome{rc, same};
            }};
}

const std::vector<Method> kMethods = {
    allocating("genAMSig", &GenSignalClass::genAMSig, AMModParams{1000, 50, 1}, 48000),
    allocating("genFMSig", &GenSignalClass::genFMSig, FMModParams{1000, 100, 1}, 48000),
    allocating("genMultitoneSig", &GenSignalClass::genMultitoneSig, multitone(), 1e6),
    allocating("genPulseSig", &GenSignalClass::genPulseSig, PulseParams{1e-3, 4e-3}, 1e6),
    presized("genStepSweepSig", &GenSignalClass::genStepSweepSig, StepSweepParams{0, 1000, 2, 1e-3}, 1e6),
    presized("genRampSweepSig", &GenSignalClass::genRampSweepSig, RampSweepParams{1e5, 1e-3, 2e-3}, 1e6),
    presized("genAWGNSig", &GenSignalClass::genAWGNSig, AWGNParams{1e5, 1e-3}, 1e6),
    allocating("genOFDMSig", &GenSignalClass::genOFDMSig, ofdm(), 1e6),
};

class MethodRefusal : public ::testing::TestWithParam<std::tuple<Method, Missing>> {};

TEST_P(MethodRefusal, MinusOneNothingWrittenAndTheReason) {
    const Method& method = std::get<0>(GetParam());
    const Missing missing = std::get<1>(GetParam());
    const char* pointer = missing == Missing::Params    ? "params"
                          : missing == Missing::Samples ? "samples"
                                                        : "sampleCount";
    const Outcome o = method.call(missing);
    EXPECT_EQ(o.rc, -1);
    EXPECT_TRUE(o.untouched);
    EXPECT_EQ(lastError(), std::string(method.name) + ": " + pointer + " is a null pointer");
}

INSTANTIATE_TEST_SUITE_P(AllGenerators, MethodRefusal,
                         ::testing::Combine(::testing::ValuesIn(kMethods),
                                            ::testing::Values(Missing::Params, Missing::Samples, Missing::SampleCount)),
                         [](const auto& info) {
                             const Missing m = std::get<1>(info.param);
                             return std::string(std::get<0>(info.param).name) + (m == Missing::Params    ? "Params"
                                                                                 : m == Missing::Samples ? "Samples"
                                                                                                         : "Count");
                         });

}  // namespace
