// wavegen end to end: the data file is the library's buffer, byte for byte,
// and the metadata is SigMF JSON describing it.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
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
    EXPECT_EQ(global.at("core:version"), "1.2.0");
    EXPECT_TRUE(global.contains("core:description"));
    EXPECT_TRUE(global.contains("core:recorder"));
    EXPECT_EQ(global.at("gensignal:modFrequency"), 1000.0);
    EXPECT_EQ(global.at("gensignal:modDepth"), 50.0);
    EXPECT_EQ(global.at("gensignal:modShape"), "sine");
    ASSERT_EQ(meta.at("captures").size(), 1u);
    EXPECT_EQ(meta.at("captures")[0].at("core:sample_start"), 0);
    EXPECT_FALSE(meta.at("captures")[0].contains("core:datetime"));
    // One period of 48 samples: the carrier and the two sidebands at +-1 kHz
    // fill the bins -1 ... 1 of 1 kHz each.
    ASSERT_EQ(meta.at("annotations").size(), 1u);
    const auto& band = meta.at("annotations")[0];
    EXPECT_EQ(band.at("core:sample_start"), 0);
    EXPECT_EQ(band.at("core:sample_count"), 48);
    EXPECT_EQ(band.at("core:freq_lower_edge"), -1500.0);
    EXPECT_EQ(band.at("core:freq_upper_edge"), 1500.0);
    EXPECT_EQ(band.at("core:label"), "am");
    EXPECT_EQ(global.at("core:description"), "am: mod-frequency 1000 Hz, mod-depth 50 %, mod-shape sine");
    EXPECT_EQ(global.at("core:sha512").get<std::string>().size(), 128u);
}

TEST_F(Wavegen, DatetimeOnlyWhenAsked) {
    std::string output;
    ASSERT_EQ(run("am --datetime 2026-06-22T12:00:00Z -o t", output), 0) << output;
    const auto meta = nlohmann::json::parse(readText("t.sigmf-meta"));
    EXPECT_EQ(meta.at("captures")[0].at("core:datetime"), "2026-06-22T12:00:00Z");
    ASSERT_EQ(run("am --datetime now -o now", output), 0) << output;
    const std::string now = nlohmann::json::parse(readText("now.sigmf-meta")).at("captures")[0].at("core:datetime");
    EXPECT_EQ(now.size(), 20u) << now;
    EXPECT_EQ(now.back(), 'Z') << now;
}

// cf32 holds each value / 32767 as a float; wav holds the int16 values as two
// channels after a 44-byte header that states the rate.
TEST_F(Wavegen, Cf32AndWavHoldTheLibraryBuffer) {
    std::string output;
    ASSERT_EQ(run("fm --freq-deviation 3000 --sample-rate 8000 --format cf32 -o f", output), 0) << output;
    ASSERT_EQ(run("fm --freq-deviation 3000 --sample-rate 8000 --format wav -o f", output), 0) << output;
    const FMModParams p{1000, 3000, 1};
    const auto lib =
        libraryIq([&](int h, int16_t** iq, int* count) { return GenerateFmWaveform(h, &p, iq, count, 8000); });
    ASSERT_EQ(lib.rc, 0);

    const auto cf32 = readFile("f.cf32");
    ASSERT_EQ(cf32.size(), lib.iq.size() * 4);
    for (size_t i = 0; i < lib.iq.size(); ++i) {
        float v;
        std::memcpy(&v, &cf32[4 * i], 4);
        ASSERT_EQ(v, static_cast<float>(lib.iq[i] / 32767.0)) << i;
    }

    const auto wav = readFile("f.wav");
    ASSERT_EQ(wav.size(), 44 + lib.iq.size() * 2);
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, &wav[at], 4);
        return v;
    };
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), wav.size() - 8);
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(20) & 0xffff, 1u);  // PCM
    EXPECT_EQ(u32(22) & 0xffff, 2u);  // channels
    EXPECT_EQ(u32(24), 8000u);        // rate
    EXPECT_EQ(u32(28), 32000u);       // bytes per second
    EXPECT_EQ(u32(40), lib.iq.size() * 2);
    EXPECT_TRUE(sameSamples(std::vector<char>(wav.begin() + 44, wav.end()), lib.iq));
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
    EXPECT_EQ(global.at("gensignal:modType"), "qpsk");
    EXPECT_EQ(global.at("gensignal:filterType"), "rrcos");
    EXPECT_EQ(global.at("gensignal:rolloff"), 0.35);
    EXPECT_EQ(global.at("gensignal:symbolCount"), 1000);
    EXPECT_EQ(global.at("gensignal:samples"), 8000);
    EXPECT_EQ(global.at("core:description"),
              "digital: mod-type qpsk, symbol-rate 1000000 symbols/s, filter-type rrcos, rolloff 0.35, symbol-count "
              "1000 symbols");
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

// Refusals by wavegen itself, in the shape of the library's: one line
// naming the option, the text given and what was expected.
struct BadArgs {
    const char* name;
    const char* args;
    const char* message;  // the whole line wavegen prints
};

void PrintTo(const BadArgs& c, std::ostream* os) { *os << c.args; }

class WavegenRejects : public Wavegen, public ::testing::WithParamInterface<BadArgs> {};

TEST_P(WavegenRejects, WithStatus2AndOneLineNamingTheOption) {
    std::string output;
    EXPECT_EQ(run(GetParam().args, output), 2) << output;
    EXPECT_EQ(output, std::string(GetParam().message) + "\n");
    EXPECT_TRUE(readFile("waveform.sigmf-data").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavegenRejects,
    ::testing::Values(
        BadArgs{"UnknownShape", "am --mod-shape wobble",
                "wavegen: --mod-shape wobble: expected sine, square, triangle or sawtooth, or a whole number"},
        BadArgs{"NotANumber", "am --mod-depth abc", "wavegen: --mod-depth abc: expected a number such as 1e6"},
        BadArgs{"NumberWithAUnit", "digital --symbol-rate 1M",
                "wavegen: --symbol-rate 1M: expected a number such as 1e6"},
        BadArgs{"UnknownOption", "am --bogus 1",
                "wavegen: --bogus: not an option of wavegen am (wavegen am --help lists them)"},
        BadArgs{"UnknownKind", "amm",
                "wavegen: amm: expected one of the kinds digital, dss, am, fm, multitone, pulse, stepsweep, "
                "rampsweep, awgn, ofdm (wavegen --help lists them)"},
        BadArgs{"UnknownModulation", "digital --mod-type qpsk9",
                "wavegen: --mod-type qpsk9: expected bpsk, dbpsk, qpsk, dqpsk, oqpsk, pi4_dqpsk, psk8, dpsk8, psk16, "
                "qam16, qam64, qam256, qam1024, ask2, fsk2, fsk4, fsk8, fsk16, ask4, ask8, apsk16 or qam8, or a "
                "whole number"},
        BadArgs{"BeyondInt32", "digital --pn-order 4294967296",
                "wavegen: --pn-order 4294967296: expected a whole number from -2147483648 to 2147483647"},
        BadArgs{"Fraction", "digital --pn-order 4.5",
                "wavegen: --pn-order 4.5: expected a whole number from -2147483648 to 2147483647"},
        BadArgs{"Truth", "ofdm --windowing maybe", "wavegen: --windowing maybe: expected true or false"},
        BadArgs{"UnknownFormat", "am --format mp3",
                "wavegen: --format mp3: expected sigmf, raw, cf32, wav, wv or iqbin"},
        BadArgs{"SigmfToStandardOutput", "am --format sigmf -o -",
                "wavegen: --format sigmf: a SigMF recording is two files; -o - writes raw, cf32, wav, wv or iqbin"},
        BadArgs{"MarkerInRaw", "am --format raw --marker 1:start",
                "wavegen: --marker 1:start: a raw file holds no markers; write wv, iqbin or sigmf"},
        BadArgs{"MarkerLine", "am --format wv --marker 5:start",
                "wavegen: --marker 5:start: expected N:SPEC with a marker N from 1 to 4 (1:start, 2:start:16, "
                "3:period:4)"},
        BadArgs{"MarkerPeriods", "am --format wv --marker 1:period:0",
                "wavegen: --marker 1:period:0: period:K needs a whole number of periods K from 1"},
        BadArgs{"MarkerBursts", "am --format wv --marker 2:bursts",
                "wavegen: --marker 2:bursts: bursts marks a scene's bursts: wavegen scene makes them"},
        BadArgs{"MarkerTwice", "am --format wv --marker 2:start --marker 2:period:1",
                "wavegen: --marker 2:period:1: marker 2 given twice"},
        BadArgs{"MarkerFileToStandardOutput", "am --format iqbin -o - --marker 1:start",
                "wavegen: --marker: iqbin keeps its markers in a second file, NAME.marker; -o - writes one file"},
        BadArgs{"UnknownInstrument", "am --instrument abc",
                "wavegen: --instrument abc: expected one of esg, mxg, n8241a, psg"},
        BadArgs{"Repeat", "am --repeat 0", "wavegen: --repeat 0: expected a whole number from 1 to 2147483647"},
        BadArgs{"Cf32Scale", "am --cf32-scale 1", "wavegen: --cf32-scale 1: expected 32767 or 32768"},
        BadArgs{"CenterFrequencyRange", "am --center-frequency 2e12",
                "wavegen: --center-frequency 2e12: must be from -1e12 to 1e12 Hz"},
        BadArgs{"CenterFrequencyNaN", "am --center-frequency nan",
                "wavegen: --center-frequency nan: must be from -1e12 to 1e12 Hz"},
        BadArgs{"WavRateNotWhole", "am --format wav --sample-rate 48000.5",
                "wavegen: --sample-rate 48000.5: a WAV file needs a whole number of samples per second from 1 to "
                "1073741823"},
        BadArgs{"WavRateBeyondHeader", "pulse --format wav --sample-rate 2e9",
                "wavegen: --sample-rate 2000000000: a WAV file needs a whole number of samples per second from 1 to "
                "1073741823"},
        BadArgs{"WavTooLongRepeated", "am --format wav --repeat 30000000",
                "wavegen: --sample-rate 48000: a WAV file holds at most 1073741814 samples, this waveform has "
                "1440000000"},
        BadArgs{"Datetime", "am --datetime yesterday",
                "wavegen: --datetime yesterday: expected \"now\" or an ISO 8601 UTC time such as "
                "2026-06-22T12:00:00Z"},
        BadArgs{"DatetimeEmptyFraction", "am --datetime 2026-06-22T12:00:00.Z",
                "wavegen: --datetime 2026-06-22T12:00:00.Z: expected \"now\" or an ISO 8601 UTC time such as "
                "2026-06-22T12:00:00Z"},
        BadArgs{"NegativeSeed", "awgn --seed -1", "wavegen: --seed -1: expected a whole number from 0 to 4294967295"},
        // wavegen's own options are the kinds'; before a command with options of its own they would be lost.
        BadArgs{"LoopBeforeScene", "--loop exact scene s.json",
                "wavegen: --loop: given before scene, which takes its own options after it (wavegen scene --help "
                "lists them)"},
        BadArgs{"OutputBeforeMeasure", "-o x measure s.sigmf",
                "wavegen: --output: given before measure, which takes its own options after it (wavegen measure "
                "--help lists them)"},
        BadArgs{"PeakBeforeImpair", "--peak-dbfs -6 impair s.raw --snr-db 10",
                "wavegen: --peak-dbfs: given before impair, which takes its own options after it (wavegen impair "
                "--help lists them)"},
        BadArgs{"ModulationOfAnotherKind", "ofdm --mod-type dbpsk",
                "wavegen: --mod-type dbpsk: expected bpsk, qpsk, psk8, psk16, qam16, qam64 or qam256, or a whole "
                "number"}),
    [](const auto& info) { return std::string(info.param.name); });

// Refusals by the library: wavegen passes every range to it and prints its
// reason with the option in place of the field.
struct LibraryRefusal {
    const char* name;
    const char* args;
    const char* message;  // the line wavegen prints, or its start where the library's wording is free
};

void PrintTo(const LibraryRefusal& c, std::ostream* os) { *os << c.args; }

class WavegenLibraryRefusal : public Wavegen, public ::testing::WithParamInterface<LibraryRefusal> {};

TEST_P(WavegenLibraryRefusal, ExitsWith2AndPrintsTheReasonWithTheOption) {
    std::string output;
    EXPECT_EQ(run(GetParam().args, output), 2) << output;
    EXPECT_TRUE(readFile("waveform.sigmf-data").empty());
    EXPECT_EQ(output.rfind(GetParam().message, 0), 0u) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavegenLibraryRefusal,
    ::testing::Values(
        LibraryRefusal{"ResultTooLong", "awgn --duration 1e9",
                       "wavegen: result of 1e+15 samples: must be finite and below 2^30"},
        LibraryRefusal{"PnOrder", "digital --pn-order 40", "wavegen: --pn-order 40: must be 4 to 32"},
        LibraryRefusal{"SpanBeyondPeriod", "digital --pn-order 4 --symbol-count 3",
                       "wavegen: --symbol-count 3 is below the filter span 6"},
        LibraryRefusal{"SampleRate", "am --sample-rate nan", "wavegen: --sample-rate nan: must be finite and above 0"},
        LibraryRefusal{"Shape", "am --mod-shape 9",
                       "wavegen: --mod-shape 9: must be 1 (sine), 2 (square), 3 (triangle) or 4 (sawtooth)"},
        LibraryRefusal{"BitCount", "dss --bit-count 0", "wavegen: --bit-count 0: must be at least 1"},
        LibraryRefusal{"Bandwidth", "awgn --bandwidth 0", "wavegen: --bandwidth 0: "},
        LibraryRefusal{"CyclicPrefix", "ofdm --cp-percent 150", "wavegen: --cp-percent 150: "}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
