// wavegen's output: standard output, repeats, file names, the centre
// frequency, the signal extension's detail, the cf32 scale, and writes that
// fail with the operating system's reason.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

class WavegenOutput : public WavegenRun {
protected:
    // Runs wavegen with standard output into `stdoutFile` (or the shell tail
    // given, such as "> /dev/full") and standard error into `err`.
    int runSplit(const std::string& args, const std::string& tail, std::string& err) {
        const std::string cmd = "cd " + dir() + " && " + WAVEGEN_PATH + " " + args + " " + tail + " 2> err.txt";
        const int status = std::system(cmd.c_str());
        err = readText("err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::vector<char> amBytes(int repeat) {
        const AMModParams p{1000, 50, 1};
        const auto lib =
            libraryIq([&](int h, int16_t** iq, int* count) { return GenerateAmWaveform(h, &p, iq, count, 48000); });
        std::vector<char> bytes;
        for (int r = 0; r < repeat; ++r)
            for (const int16_t value : lib.iq) {
                const auto v = static_cast<uint16_t>(value);
                bytes.push_back(static_cast<char>(v & 0xff));
                bytes.push_back(static_cast<char>(v >> 8));
            }
        return bytes;
    }
};

TEST_F(WavegenOutput, DashWritesTheSamplesToStandardOutputAndTheSummaryToStandardError) {
    std::string err;
    ASSERT_EQ(runSplit("am -o - --repeat 2", "> s.raw", err), 0) << err;
    EXPECT_EQ(readFile("s.raw"), amBytes(2));
    EXPECT_EQ(err.rfind("am: 48 samples", 0), 0u) << err;
    EXPECT_NE(err.find("written 2 times -> standard output"), std::string::npos) << err;
    EXPECT_TRUE(readFile("-.raw").empty());
}

TEST_F(WavegenOutput, RepeatWritesTheBufferAgainAndSigmfSaysSo) {
    std::string output;
    ASSERT_EQ(run("am --repeat 3 -o r", output), 0) << output;
    EXPECT_EQ(readFile("r.sigmf-data"), amBytes(3));
    const auto meta = nlohmann::json::parse(readText("r.sigmf-meta"));
    EXPECT_EQ(meta.at("global").at("gensignal:repeat"), 3);
    EXPECT_EQ(meta.at("global").at("gensignal:samples"), 48);
    EXPECT_EQ(meta.at("annotations")[0].at("core:sample_count"), 144);
    // The band of the looped buffer is the band of one period.
    EXPECT_EQ(meta.at("annotations")[0].at("core:freq_lower_edge"), -1500.0);
    ASSERT_EQ(run("am --repeat 1 -o once", output), 0) << output;
    EXPECT_FALSE(nlohmann::json::parse(readText("once.sigmf-meta")).at("global").contains("gensignal:repeat"));
}

TEST_F(WavegenOutput, CenterFrequencyIsRecordedAndTheBandEdgesMoveToRf) {
    std::string output;
    ASSERT_EQ(run("am --center-frequency 2.4e9 -o c", output), 0) << output;
    const auto meta = nlohmann::json::parse(readText("c.sigmf-meta"));
    EXPECT_EQ(meta.at("captures")[0].at("core:frequency"), 2.4e9);
    EXPECT_EQ(meta.at("annotations")[0].at("core:freq_lower_edge"), 2.4e9 - 1500);
    EXPECT_EQ(meta.at("annotations")[0].at("core:freq_upper_edge"), 2.4e9 + 1500);
}

TEST_F(WavegenOutput, Cf32ScaleDividesBy32767Or32768) {
    std::string output;
    ASSERT_EQ(run("am --format cf32 --cf32-scale 32768 -o s", output), 0) << output;
    const auto bytes = amBytes(1);
    const auto cf32 = readFile("s.cf32");
    ASSERT_EQ(cf32.size(), bytes.size() * 2);
    for (size_t i = 0; i < bytes.size() / 2; ++i) {
        int16_t value;
        float v;
        std::memcpy(&value, &bytes[2 * i], 2);
        std::memcpy(&v, &cf32[4 * i], 4);
        ASSERT_EQ(v, static_cast<float>(value / 32768.0)) << i;
    }
}

struct Naming {
    const char* name;
    const char* args;
    std::vector<const char*> files;
};

void PrintTo(const Naming& c, std::ostream* os) { *os << c.args; }

class WavegenNames : public WavegenRun, public ::testing::WithParamInterface<Naming> {};

// The format's suffix is added unless the name ends in it (the Python writers
// name files the same way).
TEST_P(WavegenNames, AddTheSuffixUnlessTheNameEndsInIt) {
    std::string output;
    ASSERT_EQ(run(std::string("am ") + GetParam().args, output), 0) << output;
    for (const char* file : GetParam().files) EXPECT_FALSE(readFile(file).empty()) << file;
}

INSTANTIATE_TEST_SUITE_P(Cases, WavegenNames,
                         ::testing::Values(Naming{"Raw", "--format raw -o x", {"x.raw"}},
                                           Naming{"RawGiven", "--format raw -o x.raw", {"x.raw"}},
                                           Naming{"OtherSuffixKept", "--format raw -o x.wav", {"x.wav.raw"}},
                                           Naming{"Wav", "--format wav -o b", {"b.wav"}},
                                           Naming{"Cf32Given", "--format cf32 -o b.cf32", {"b.cf32"}},
                                           Naming{"SigmfMeta", "-o s.sigmf-meta", {"s.sigmf-data", "s.sigmf-meta"}},
                                           Naming{"SigmfData", "-o s.sigmf-data", {"s.sigmf-data", "s.sigmf-meta"}},
                                           Naming{"SigmfArchive", "-o s.sigmf", {"s.sigmf-data", "s.sigmf-meta"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WavegenOutput, WriteFailuresNameTheOperatingSystemsReason) {
    std::string output;
    EXPECT_EQ(run("am -o missing/x", output), 1);
    EXPECT_EQ(output, "wavegen: cannot write missing/x.sigmf-data: No such file or directory\n");
    std::string err;
    EXPECT_EQ(runSplit("am -o -", "> /dev/full", err), 1);
    EXPECT_EQ(err, "wavegen: cannot write standard output: No space left on device\n");
}

TEST_F(WavegenOutput, AFailedMetadataFileTakesItsDataFileAlong) {
    std::string output;
    ASSERT_EQ(run("am --format raw -o m", output), 0);
    // A folder where the metadata file would go.
    ASSERT_EQ(std::system(("mkdir " + dir() + "/m.sigmf-meta").c_str()), 0);
    EXPECT_EQ(run("am -o m", output), 1);
    EXPECT_EQ(output, "wavegen: cannot write m.sigmf-meta: Is a directory\n");
    EXPECT_TRUE(readFile("m.sigmf-data").empty());
    EXPECT_EQ(std::system(("test -d " + dir() + "/m.sigmf-meta").c_str()), 0) << "the folder must stay";
}

struct Detail {
    const char* name;
    const char* args;
    nlohmann::json detail;  // null: no signal:detail, and no signal extension
};

void PrintTo(const Detail& c, std::ostream* os) { *os << c.args; }

class WavegenSignalDetail : public WavegenRun, public ::testing::WithParamInterface<Detail> {};

TEST_P(WavegenSignalDetail, DescribesTheModulationInTheExtensionsWords) {
    std::string output;
    ASSERT_EQ(run(std::string(GetParam().args) + " -o d", output), 0) << output;
    const auto meta = nlohmann::json::parse(readText("d.sigmf-meta"));
    const auto& annotation = meta.at("annotations")[0];
    const auto& extensions = meta.at("global").at("core:extensions");
    EXPECT_EQ(extensions[0], (nlohmann::json{{"name", "gensignal"}, {"version", "2.0.0"}, {"optional", true}}));
    if (GetParam().detail.is_null()) {
        EXPECT_FALSE(annotation.contains("signal:detail"));
        EXPECT_EQ(extensions.size(), 1u);
        return;
    }
    EXPECT_EQ(annotation.at("signal:detail"), GetParam().detail);
    ASSERT_EQ(extensions.size(), 2u);
    EXPECT_EQ(extensions[1], (nlohmann::json{{"name", "signal"}, {"version", "1.0.0"}, {"optional", true}}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavegenSignalDetail,
    ::testing::Values(
        Detail{"Qpsk",
               "digital --symbol-count 64",
               {{"type", "digital"}, {"carrier_variant", "single_carrier"}, {"mod_class", "psk"}, {"order", 4}}},
        Detail{"Oqpsk",
               "digital --mod-type oqpsk --symbol-count 64",
               {{"type", "digital"},
                {"carrier_variant", "single_carrier"},
                {"mod_class", "psk"},
                {"order", 4},
                {"symbol_variant", "offset"}}},
        Detail{"Pi4Dqpsk",
               "digital --mod-type 6 --symbol-count 64",
               {{"type", "digital"},
                {"carrier_variant", "single_carrier"},
                {"mod_class", "psk"},
                {"order", 4},
                {"symbol_variant", "differential"},
                {"class_variant", "pi/4"}}},
        Detail{"Qam1024",
               "digital --mod-type qam1024 --symbol-count 64",
               {{"type", "digital"}, {"carrier_variant", "single_carrier"}, {"mod_class", "qam"}, {"order", 1024}}},
        Detail{"Fsk8",
               "digital --mod-type fsk8 --symbol-count 64",
               {{"type", "digital"}, {"carrier_variant", "single_carrier"}, {"mod_class", "fsk"}, {"order", 8}}},
        Detail{"Apsk16",
               "digital --mod-type apsk16 --symbol-count 64",
               {{"type", "digital"}, {"carrier_variant", "single_carrier"}, {"order", 16}, {"class_variant", "apsk"}}},
        Detail{"Dss",
               "dss",
               {{"type", "digital"},
                {"carrier_variant", "single_carrier"},
                {"spreading", "dsss"},
                {"mod_class", "psk"},
                {"order", 2}}},
        Detail{"Ofdm",
               "ofdm --mod-type qam64",
               {{"type", "digital"},
                {"carrier_variant", "multi_carrier"},
                {"multiplexing", "ofdm"},
                {"mod_class", "qam"},
                {"order", 64}}},
        Detail{"Am", "am", {{"type", "analog"}, {"mod_class", "am"}, {"carrier_variant", "with_carrier"}}},
        Detail{"Multitone", "multitone", nullptr}, Detail{"Noise", "awgn --duration 1e-3", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WavegenOutput, VersionAndHelp) {
    std::string output;
    ASSERT_EQ(run("--version", output), 0) << output;
    EXPECT_EQ(output.rfind("wavegen ", 0), 0u) << output;
    EXPECT_NE(output.find("\nalgorithm version V1.0.0.20260622_X86_WIN64\n"), std::string::npos) << output;
    ASSERT_EQ(run("--help", output), 0) << output;
    for (const char* option : {"--describe-fields", "--version", "--repeat", "--center-frequency", "--cf32-scale"})
        EXPECT_NE(output.find(option), std::string::npos) << option;
}

}  // namespace
