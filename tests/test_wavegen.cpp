// wavegen end to end: the data file is the library's buffer, byte for byte,
// and the metadata is SigMF JSON describing it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

using Wavegen = WavegenRun;

TEST_F(Wavegen, AmDataIsTheLibraryBufferAndMetaDescribesIt) {
    std::string output;
    ASSERT_EQ(run("am --mod-frequency 1000 --mod-depth 50 --mod-shape sine --sample-rate 48000 -o am_demo", output), 0)
        << output;
    EXPECT_NE(output.find("am: 48 samples"), std::string::npos) << output;
    EXPECT_NE(output.find("crest factor"), std::string::npos) << output;

    const AMModParams p{1000, 50, 1};
    const auto lib =
        libraryIq([&](int h, int16_t** iq, int* count) { return GenerateAmWaveform(h, &p, iq, count, 48000); });
    ASSERT_EQ(lib.rc, 0);
    ASSERT_TRUE(sameSamples(readFile("am_demo.sigmf-data"), lib.iq));

    const auto meta = nlohmann::json::parse(readText("am_demo.sigmf-meta"));
    const auto& global = meta.at("global");
    EXPECT_EQ(global.at("core:datatype"), "ci16_le");
    EXPECT_EQ(global.at("core:sample_rate"), 48000.0);
    EXPECT_TRUE(global.at("core:version").get<std::string>().rfind("1.", 0) == 0);
    EXPECT_TRUE(global.contains("core:description"));
    EXPECT_TRUE(global.contains("core:recorder"));
    EXPECT_EQ(global.at("gensignal:modFrequency"), 1000.0);
    EXPECT_EQ(global.at("gensignal:modDepth"), 50.0);
    EXPECT_EQ(global.at("gensignal:modShape"), 1);
    ASSERT_EQ(meta.at("captures").size(), 1u);
    EXPECT_EQ(meta.at("captures")[0].at("core:sample_start"), 0);
}

TEST_F(Wavegen, EnumeratedFieldsTakeNumbersToo) {
    std::string output;
    ASSERT_EQ(run("am --mod-shape 2 --format raw -o sq", output), 0) << output;
    EXPECT_EQ(readFile("sq.raw").size(), 48u * 4);
    EXPECT_TRUE(readFile("sq.sigmf-meta").empty());
}

// The library's digital waveform for a record, as the bytes wavegen writes.
std::vector<char> digitalBytes(const DigitalModParams& p, int symbols, double rate) {
    const auto lib = libraryIq(
        [&](int h, int16_t** iq, int* count) { return GenerateDigitalModWaveform(h, &p, symbols, iq, count, rate); });
    std::vector<char> bytes;
    for (const int16_t value : lib.iq) {
        const auto v = static_cast<uint16_t>(value);
        bytes.push_back(static_cast<char>(v & 0xff));
        bytes.push_back(static_cast<char>(v >> 8));
    }
    return bytes;
}

TEST_F(Wavegen, WithoutArgumentsWritesTheDefaultWaveform) {
    std::string output;
    ASSERT_EQ(run("", output), 0) << output;
    EXPECT_NE(output.find("digital: 8000 samples"), std::string::npos) << output;
    // QPSK, root raised cosine 0.35 over 6 symbols, 8 samples per symbol,
    // 1 Msym/s at 8 MHz, 1000 symbols.
    DigitalModParams p{};
    p.modType = QPSK;
    p.symbolRate = 1e6;
    p.freqDeviation = 250e3;
    p.pnOrder = 9;
    p.pnSeed = 10;
    p.filterType = RRCOS;
    p.filterSpan = 6;
    p.samplesPerSymbol = 8;
    p.rolloff = 0.35;
    const auto expected = digitalBytes(p, 1000, 8e6);
    ASSERT_EQ(expected.size(), 32000u);
    EXPECT_EQ(readFile("waveform.sigmf-data"), expected);
    const auto global = nlohmann::json::parse(readText("waveform.sigmf-meta")).at("global");
    EXPECT_EQ(global.at("gensignal:kind"), "digital");
    EXPECT_EQ(global.at("core:sample_rate"), 8e6);
    EXPECT_EQ(global.at("gensignal:modType"), 3);
    EXPECT_EQ(global.at("gensignal:filterType"), 3);
    EXPECT_EQ(global.at("gensignal:rolloff"), 0.35);
    EXPECT_EQ(global.at("gensignal:symbolCount"), 1000);
    EXPECT_EQ(global.at("gensignal:samples"), 8000);
}

struct DigitalArgs {
    const char* name;
    const char* args;
    int modType, filterType;
};

class WavegenDigital : public Wavegen, public ::testing::WithParamInterface<DigitalArgs> {};

TEST_P(WavegenDigital, KindsByNameOrNumberGiveTheLibrarysWaveform) {
    const auto& c = GetParam();
    std::string output;
    ASSERT_EQ(run(std::string("digital ") + c.args +
                      " --symbol-count 50 --samples-per-symbol 4 --filter-span 4 --rolloff 0.5"
                      " --symbol-rate 2e5 --sample-rate 1e6 --pn-order 7 --pn-seed 77 --freq-deviation 5e4"
                      " --format raw -o d",
                  output),
              0)
        << output;
    DigitalModParams p{};
    p.modType = static_cast<DigitalModulType>(c.modType);
    p.symbolRate = 2e5;
    p.freqDeviation = 5e4;
    p.pnOrder = 7;
    p.pnSeed = 77;
    p.filterType = static_cast<FilterType>(c.filterType);
    p.filterSpan = 4;
    p.samplesPerSymbol = 4;
    p.rolloff = 0.5;
    const auto expected = digitalBytes(p, 50, 1e6);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(readFile("d.raw"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavegenDigital,
    ::testing::Values(DigitalArgs{"Pi4DqpskRrcos", "--mod-type pi4_dqpsk --filter-type rrcos", PI4_DQPSK, RRCOS},
                      DigitalArgs{"ByNumbers", "--mod-type 6 --filter-type 3", PI4_DQPSK, RRCOS},
                      DigitalArgs{"UpperCase", "--mod-type QAM1024 --filter-type HALF_SINE", QAM1024, HALF_SINE},
                      DigitalArgs{"GaussianFsk", "--mod-type fsk4 --filter-type gaussian", FSK4, GAUSSIAN}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadArgs {
    const char* name;
    const char* args;
    const char* mentions;
};

class WavegenRejects : public Wavegen, public ::testing::WithParamInterface<BadArgs> {};

TEST_P(WavegenRejects, WithAMessageNamingTheField) {
    std::string output;
    EXPECT_NE(run(GetParam().args, output), 0);
    EXPECT_NE(output.find(GetParam().mentions), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavegenRejects,
    ::testing::Values(BadArgs{"UnknownShape", "am --mod-shape wobble", "--mod-shape"},
                      BadArgs{"NegativeDepth", "am --mod-depth -5", "--mod-depth"},
                      BadArgs{"NanFrequency", "am --mod-frequency nan", "--mod-frequency"},
                      BadArgs{"ZeroRate", "am --sample-rate 0", "--sample-rate"},
                      BadArgs{"UnknownOption", "am --bogus 1", "--bogus"},
                      BadArgs{"LibraryRefusal", "am --mod-frequency 1e9 --sample-rate 1000", "result code -1"},
                      BadArgs{"UnknownModulation", "digital --mod-type qpsk9", "--mod-type"},
                      BadArgs{"UnknownFilter", "digital --filter-type 6", "--filter-type"},
                      BadArgs{"PnOrderOutOfRange", "digital --pn-order 40", "--pn-order"},
                      BadArgs{"NanRolloff", "digital --rolloff nan", "--rolloff"},
                      BadArgs{"NoSymbols", "digital --symbol-count 0", "--symbol-count"},
                      BadArgs{"SpanBeyondPeriod", "digital --symbol-count 3", "result code -1"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
