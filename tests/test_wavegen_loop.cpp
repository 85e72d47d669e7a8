// wavegen's opt-in settings end to end: the exact loop's data is the
// library's buffer with the same settings, its metadata records the loop,
// refused settings and records exit with status 2 in option terms, and a
// defined record above half the sample rate leaves a note. Every option of
// the library's table is an option, taken at its limits and refused beyond
// them with its range; snap's change reaches the metadata and the summary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

using WavegenLoop = WavegenRun;

TEST_F(WavegenLoop, ExactDigitalIsTheLibrarysLoopAndItsMetadataSaysSo) {
    std::string output;
    ASSERT_EQ(run("digital --mod-type qpsk --symbol-rate 1.023e6 --freq-deviation 0 --pn-order 9 --pn-seed 1 "
                  "--filter-type rrcos --filter-span 6 --samples-per-symbol 8 --rolloff 0.35 --symbol-count 100 "
                  "--sample-rate 10e6 --loop exact --peak-dbfs -3 -o d",
                  output),
              0)
        << output;
    const DigitalModParams p{QPSK, 1.023e6, 0, 9, 1, RRCOS, 6, 8, 0.35};
    const auto fields = nlohmann::json::parse(readText("d.sigmf-meta")).at("global");
    const auto lib = libraryIq([&](int h, int16_t** iq, int* count) {
        GenSignalSetOption(h, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
        GenSignalSetOption(h, GENSIGNAL_OPTION_PEAK_DBFS, -3);
        return GenerateDigitalModWaveform(h, &p, 100, iq, count, 10e6);
    });
    ASSERT_EQ(lib.rc, 0);
    EXPECT_TRUE(sameSamples(readFile("d.sigmf-data"), lib.iq));
    // 100 symbols at 1.023 Msym/s into 10 MS/s: 977.5... samples, whole after 1023 periods.
    const auto loop = fields.at("gensignal:loop");
    EXPECT_EQ(loop.at("mode"), "exact");
    EXPECT_EQ(loop.at("periods"), 1023);
    EXPECT_EQ(loop.at("duration"), 0.1);
    EXPECT_EQ(loop.at("whole_periods"), true);
    EXPECT_EQ(fields.at("gensignal:samples"), 1000000);
}

TEST_F(WavegenLoop, RefusalsAndNotesAreInOptionTerms) {
    std::string output;
    EXPECT_EQ(run("am --peak-dbfs 1", output), 2);
    EXPECT_NE(output.find("wavegen: --peak-dbfs 1: must be -90 to 0 dBFS"), std::string::npos) << output;
    EXPECT_EQ(run("fm --freq-deviation 30000 --sample-rate 48000 --loop exact", output), 2);
    EXPECT_NE(output.find("wavegen: --freq-deviation 30000: lies at or above half the sample rate"), std::string::npos)
        << output;
    EXPECT_EQ(run("fm --freq-deviation 30000 --sample-rate 48000 -o f", output), 0);
    EXPECT_NE(output.find("wavegen: note: --freq-deviation 30000: lies at or above half the sample rate"),
              std::string::npos)
        << output;
    EXPECT_EQ(run("multitone --tone-phases squiggle", output), 2);
}

// The table's options as the test sees them: the flag, a kind it shapes and
// the texts at and beyond its limits.
struct TableCase {
    GenSignalOptionInfo info;
    std::string flag, kind;
};

std::string shown(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

std::vector<TableCase> tableCases() {
    static const char* const kinds[] = {"",      "digital",   "dss",       "am",   "fm",  "multitone",
                                        "pulse", "stepsweep", "rampsweep", "awgn", "ofdm"};
    std::vector<GenSignalOptionInfo> infos(GenSignalListOptions(nullptr, 0));
    GenSignalListOptions(infos.data(), static_cast<int>(infos.size()));
    std::vector<TableCase> cases;
    for (const GenSignalOptionInfo& info : infos) {
        std::string flag = std::string("--") + info.keyword;
        std::replace(flag.begin(), flag.end(), '_', '-');
        std::string kind;
        for (int k = 1; k <= 10 && kind.empty(); ++k)
            if (info.kinds & (1u << k)) kind = kinds[k];
        cases.push_back({info, flag, kind});
    }
    return cases;
}

std::vector<std::string> choiceNames(const GenSignalOptionInfo& info) {
    std::vector<std::string> names;
    std::string rest = info.choices ? info.choices : "";
    for (size_t at = 0; !rest.empty();) {
        const size_t comma = rest.find(',', at);
        names.push_back(rest.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return names;
}

class WavegenTable : public WavegenRun, public ::testing::WithParamInterface<TableCase> {};

TEST_P(WavegenTable, EachOptionIsTakenAtItsLimitsAndRefusedBeyondWithItsRange) {
    const TableCase& c = GetParam();
    const GenSignalOptionInfo& o = c.info;
    std::vector<std::string> good, bad;
    std::string range;
    if (o.type == GENSIGNAL_OPTION_TYPE_FLAG) {
        good = {"=true", "=FALSE", "=1"};
        bad = {"=maybe", "=2"};
        range = "true or false";
    } else if (o.type == GENSIGNAL_OPTION_TYPE_CHOICE) {
        const std::vector<std::string> names = choiceNames(o);
        std::string upper = names.back();
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        good = {" " + names.front(), " " + upper, " " + shown(o.maximum)};
        bad = {" squiggle", " " + shown(o.maximum + 1), " -1"};
        range = names.front();
    } else {
        const double step = o.type == GENSIGNAL_OPTION_TYPE_REAL ? 1e-3 * (o.maximum - o.minimum) : 1;
        good = {" " + shown(o.minimum), " " + shown(o.maximum)};
        bad = {" " + shown(o.minimum - step), " " + shown(o.maximum + step), " nan"};
        if (o.type == GENSIGNAL_OPTION_TYPE_WHOLE) bad.push_back(" " + shown(o.minimum + 0.5));
        range = shown(o.minimum) + " to " + shown(o.maximum);
    }
    std::string output;
    for (const std::string& value : good) {
        const int rc = run(c.kind + " " + c.flag + value + " --format raw -o x", output);
        // Taken: the call may still refuse a length, but never the value.
        EXPECT_TRUE(rc == 0 || rc == 2) << c.flag << value << ": " << output;
        EXPECT_EQ(output.find("wavegen: " + c.flag), std::string::npos) << c.flag << value << ": " << output;
    }
    for (const std::string& value : bad) {
        EXPECT_EQ(run(c.kind + " " + c.flag + value + " --format raw -o x", output), 2) << c.flag << value;
        EXPECT_NE(output.find("wavegen: " + c.flag + " " + value.substr(1) + ": must be"), std::string::npos)
            << c.flag << value << ": " << output;
        EXPECT_NE(output.find(range), std::string::npos) << c.flag << value << ": " << output;
    }
}

INSTANTIATE_TEST_SUITE_P(Options, WavegenTable, ::testing::ValuesIn(tableCases()),
                         [](const ::testing::TestParamInfo<TableCase>& p) {
                             std::string name = p.param.info.keyword;
                             name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
                             return name;
                         });

TEST_F(WavegenLoop, AnOptionGivenBeatsTheInstrumentPresetAndTheMetadataHoldsEverySetting) {
    std::string output;
    ASSERT_EQ(run("am --instrument esg --granularity 16 --loop exact -o a", output), 0) << output;
    const auto loop = nlohmann::json::parse(readText("a.sigmf-meta")).at("global").at("gensignal:loop");
    EXPECT_EQ(loop.at("granularity"), 16);
    EXPECT_EQ(loop.at("min_length"), 60);  // the preset's, not given
    EXPECT_EQ(loop.at("max_samples"), 8377088);
    EXPECT_EQ(loop.at("snap"), false);
    EXPECT_EQ(readFile("a.sigmf-data").size() % (16 * 4), 0u);
    EXPECT_FALSE(loop.contains("tone_phases"));  // the multitone's only
}

TEST_F(WavegenLoop, SnapTakesTheNearestValueAndSaysSoInTheMetadataAndTheSummary) {
    std::string output;
    const std::string tones = "multitone --tone-count 4 --tone-spacing 1000.3 --sample-rate 48000 --loop exact";
    EXPECT_EQ(run(tones + " -o refused", output), 2);
    ASSERT_EQ(run(tones + " --snap -o m", output), 0) << output;
    EXPECT_NE(output.find(", snapped --tone-spacing 1000.3 to 1000.3125 -> m.sigmf-data"), std::string::npos) << output;
    EXPECT_NE(output.find("wavegen: note: snapped --tone-spacing from 1000.3 to 1000.3125"), std::string::npos)
        << output;
    const auto global = nlohmann::json::parse(readText("m.sigmf-meta")).at("global");
    const auto loop = global.at("gensignal:loop");
    EXPECT_EQ(loop.at("snapped"), nlohmann::json({{"field", "toneSpacing"}, {"asked", 1000.3}, {"taken", 1000.3125}}));
    EXPECT_EQ(loop.at("whole_periods"), true);
    EXPECT_EQ(global.at("gensignal:samples").get<double>(),
              loop.at("periods").get<double>() * loop.at("samples_per_period").get<double>());
    const MultitoneParams taken{{0}, 4, 1000.3125};
    const auto lib = libraryIq([&](int h, int16_t** iq, int* count) {
        GenSignalSetOption(h, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
        return GenerateMultitoneWaveform(h, &taken, iq, count, 48000);
    });
    EXPECT_TRUE(sameSamples(readFile("m.sigmf-data"), lib.iq));
}

// Measured against the record that was made: a snapped rate or symbol count
// keeps its EVM.
TEST_F(WavegenLoop, ASnappedRecordIsMeasuredAsMade) {
    std::string output;
    for (const char* record : {"--symbol-rate 761288.27 --sample-rate 4e6 --symbol-count 256",
                               "--symbol-rate 9999.7 --sample-rate 100e3 --symbol-count 64"}) {
        ASSERT_EQ(run(std::string("digital ") + record + " --loop exact --snap -o d", output), 0) << output;
        EXPECT_NE(output.find("snapped --symbol-"), std::string::npos) << output;
        const auto measured = nlohmann::json::parse(readText("d.sigmf-meta")).at("global").at("gensignal:measured");
        ASSERT_TRUE(measured.at("evm_percent").is_number()) << record << ": " << measured;
        EXPECT_LT(measured.at("evm_percent").get<double>(), 1.0) << record;
    }
}

TEST_F(WavegenLoop, CompletionListsTheTablesOptionsAndTheirChoices) {
    std::string output;
    ASSERT_EQ(run("--bash-completion", output), 0);
    for (const TableCase& c : tableCases()) EXPECT_NE(output.find(" " + c.flag), std::string::npos) << c.flag;
    EXPECT_NE(output.find("--tone-phases) COMPREPLY=($(compgen -W \"zero newman schroeder random\""),
              std::string::npos);
}

}  // namespace
