// wavegen scene: the file's parts reach the library as its records, the
// data file holds the library's buffer, SigMF has one annotation per burst
// and the scene under gensignal:scene; bad files are refused by key.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

class WavegenScene : public WavegenRun {
protected:
    void write(const std::string& name, const std::string& text) const { std::ofstream(dir() + "/" + name) << text; }
};

const char kScene[] = R"({"sample_rate": 1e6,
 "parts": [
   {"kind": "multitone", "tone_count": 4, "tone_spacing": 10000, "frequency_offset": -200000, "label": "tones"},
   {"kind": "multitone", "tone_count": 2, "tone_spacing": 20000, "frequency_offset": 250000, "level_db": -6,
    "burst_on": 2e-4, "burst_off": 3e-4, "burst_start": 4e-4}]})";

}  // namespace

TEST_F(WavegenScene, WritesTheLibrarysSceneWithOneAnnotationPerBurst) {
    write("s.json", kScene);
    std::string out;
    ASSERT_EQ(run("scene s.json -o sc --loop exact", out), 0) << out;
    // The same scene through the C API.
    MultitoneParams a{}, b{};
    a.toneCount = 4;
    a.toneSpacing = 10000;
    b.toneCount = 2;
    b.toneSpacing = 20000;
    GenSignalScenePart parts[2]{};
    parts[0].recordKind = parts[1].recordKind = GENSIGNAL_RECORD_MULTITONE;
    parts[0].record = &a;
    parts[1].record = &b;
    parts[0].frequencyOffset = -200000;
    parts[1].frequencyOffset = 250000;
    parts[1].levelDb = -6;
    parts[1].burstOn = 2e-4;
    parts[1].burstOff = 3e-4;
    parts[1].burstStart = 4e-4;
    GenSignalScene s{};
    s.sampleRate = 1e6;
    s.partCount = 2;
    s.parts = parts;
    const LibraryIq lib = libraryIq([&](int h, int16_t** iq, int* n) {
        GenSignalSetOption(h, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
        return GenerateSceneWaveform(h, &s, iq, n);
    });
    ASSERT_EQ(lib.rc, 0);
    EXPECT_TRUE(sameSamples(readFile("sc.sigmf-data"), lib.iq));
    const auto meta = nlohmann::json::parse(readText("sc.sigmf-meta"));
    const auto& notes = meta["annotations"];
    // The lone tones once; the bursts every 500 samples from 400, the first
    // one wrapping over the loop's end.
    const int64_t n = static_cast<int64_t>(lib.iq.size() / 2);
    std::vector<std::pair<int64_t, int64_t>> bursts;
    for (int64_t start = 400 - 500; start < n; start += 500) {
        const int64_t lo = std::max<int64_t>(start, 0), hi = std::min<int64_t>(start + 200, n);
        if (hi > lo) bursts.push_back({lo, hi - lo});
    }
    ASSERT_EQ(notes.size(), 1 + bursts.size());
    EXPECT_EQ(notes[0]["core:label"], "tones");
    EXPECT_EQ(notes[0]["core:sample_count"], n);
    for (size_t i = 0; i < bursts.size(); ++i) {
        EXPECT_EQ(notes[1 + i]["core:sample_start"], bursts[i].first) << i;
        EXPECT_EQ(notes[1 + i]["core:sample_count"], bursts[i].second) << i;
        EXPECT_EQ(notes[1 + i]["core:label"], "multitone");
        const double centre =
            (notes[1 + i]["core:freq_lower_edge"].get<double>() + notes[1 + i]["core:freq_upper_edge"].get<double>()) /
            2;
        EXPECT_NEAR(centre, 250000.0, 5000.0) << i;
    }
    EXPECT_EQ(meta["global"]["gensignal:scene"]["parts"].size(), 2u);
}

TEST_F(WavegenScene, RefusesWhatItCannotReadByKey) {
    struct Case {
        const char* file;
        std::string text;
        const char* reason;
    };
    const Case cases[] = {
        {"a.json", R"({"sample_rate": 1e6, "parts": [{"kind": "tone"}]})", "parts[0].kind = \"tone\": expected one of"},
        {"b.json", R"({"sample_rate": 1e6, "parts": [{"kind": "am", "mod_freq": 5}]})",
         "parts[0].mod_freq: not a field of am"},
        {"c.json", R"({"sample_rate": 1e6, "parts": [{"kind": "am", "mod_shape": "round"}]})",
         "parts[0].mod_shape = \"round\": not one of its names"},
        {"d.json", R"({"sample_rate": 1e6, "parts": []})", "parts: expected a list of at least one part"},
        {"e.json", R"({"sample_rate": 1e6, "parts": [{"kind": "am"}], "cfr": {"target": 7}})",
         "cfr.target: not a setting"},
        {"o.json",
         R"({"sample_rate": 1e6, "parts": [{"kind": "am"}], "cfr": {"target_papr_db": 7, "method": "round"}})",
         "cfr.method = \"round\": expected \"clip_filter\" or \"peak_window\""},
        {"f.json", R"({"sample_rate": 1e6, "parts": [{"kind": "am", "level_db": "high"}]})",
         "parts[0].level_db = \"high\": expected a number"},
        {"g.json", R"({"sample_rate": 0, "parts": [{"kind": "am"}]})", "GenSignalScene.sampleRate = 0"},
        {"h.yaml", "sample_rate: 1e6\nsample_rate: 2e6\n", "h.yaml: not YAML: sample_rate: the key appears twice"},
        {"i.yaml", "sample_rate: [1e6\n", "i.yaml: not YAML:"},
        {"j.yaml", (std::string(100, '[') + std::string(100, ']')).c_str(), "not YAML: nested deeper than 64"},
        {"k.yaml", "sample_rate: 1e6\nparts: [{kind: am, channel: {snr: 3}}]\n",
         "parts[0].channel: \"snr\" is no channel setting"},
        {"l.json", R"({"sample_rate": 1e6, "parts": [{"kind": "am"}], "channel": {"cfo_hz": "fast"}})", "channel:"},
        {"m.yaml", "sample_rate: 1e6\nparts: [{kind: am, level_db: '3'}]\n",
         "parts[0].level_db = \"3\": expected a number"},
        // The parser quotes the byte it stopped at: spelled out, not sent raw to the terminal.
        {"n.yaml", "sample_rate: \"\\\x01\"\n", "unknown escape character: \\x01"},
    };
    for (const Case& c : cases) {
        write(c.file, c.text);
        std::string out;
        EXPECT_EQ(run(std::string("scene ") + c.file + " -o x", out), 2) << c.file;
        EXPECT_NE(out.find(c.reason), std::string::npos) << c.file << ": " << out;
    }
}

TEST_F(WavegenScene, YamlAndJsonOfOneSceneGiveTheSameBytesAndLabels) {
    write("s.json", kScene);
    // The same keys in block and flow style, numbers as YAML writes them.
    write("s.yaml", R"(sample_rate: 1.0e+6
parts:
  - kind: multitone
    tone_count: 4
    tone_spacing: 10000
    frequency_offset: -200000
    label: "tones"
  - {kind: multitone, tone_count: 2, tone_spacing: 20000, frequency_offset: 250000, level_db: -6,
     burst_on: 2e-4, burst_off: 3.0e-4, burst_start: 4e-4}
)");
    std::string out;
    ASSERT_EQ(run("scene s.json -o fromjson --loop exact", out), 0) << out;
    ASSERT_EQ(run("scene s.yaml -o fromyaml --loop exact", out), 0) << out;
    EXPECT_EQ(readFile("fromjson.sigmf-data"), readFile("fromyaml.sigmf-data"));
    const auto a = nlohmann::json::parse(readText("fromjson.sigmf-meta"));
    const auto b = nlohmann::json::parse(readText("fromyaml.sigmf-meta"));
    EXPECT_EQ(a["annotations"], b["annotations"]);
    EXPECT_EQ(a["global"]["gensignal:scene"], b["global"]["gensignal:scene"]);
}

// The instrument formats from a scene and from an impaired file: the real
// files (tags, big-endian samples), with a marker high while a burst is on.
TEST_F(WavegenScene, InstrumentFilesCarryTheBurstsAsAMarker) {
    write("b.yaml",
          "sample_rate: 1e6\nparts:\n  - {kind: multitone, tone_count: 2, tone_spacing: 1000, burst_on: 1e-3, "
          "burst_off: 1e-3, burst_start: 2e-4}\n");
    std::string out;
    ASSERT_EQ(run("scene b.yaml -o b --loop exact --format wv --marker 1:bursts --marker 2:start", out), 0) << out;
    const std::string wv = readText("b.wv");
    EXPECT_EQ(wv.rfind("{TYPE: SMU-WV,", 0), 0u) << wv.substr(0, 40);
    EXPECT_NE(wv.find("{MARKER LIST 1: 0:0;200:1;1200:0}"), std::string::npos) << wv.substr(0, 300);
    EXPECT_NE(wv.find("{COMMENT: scene of 1 parts}"), std::string::npos);
    ASSERT_EQ(run("measure b.wv", out), 0) << out;
    ASSERT_EQ(run("scene b.yaml -o b --loop exact --format iqbin --marker 3:bursts", out), 0) << out;
    const std::string marks = readText("b.marker");
    ASSERT_EQ(marks.size(), 2000u);
    for (size_t i = 0; i < marks.size(); ++i) ASSERT_EQ(marks[i], i >= 200 && i < 1200 ? 4 : 0) << "sample " << i;
    ASSERT_EQ(run("scene b.yaml -o b --loop exact --format raw", out), 0) << out;
    const std::string little = readText("b.raw"), big = readText("b.iqbin");
    ASSERT_EQ(little.size(), big.size());
    EXPECT_EQ(little[0], big[1]);
    EXPECT_EQ(little[1], big[0]);
    // An impaired file as an instrument file, and a marker it cannot place.
    ASSERT_EQ(run("scene b.yaml -o b --loop exact", out), 0) << out;
    ASSERT_EQ(run("impair b.sigmf-meta --snr-db 30 -o i --format wv --marker 1:start:4", out), 0) << out;
    EXPECT_NE(readText("i.wv").find("{MARKER LIST 1: 0:1;4:0}"), std::string::npos);
    EXPECT_EQ(run("impair b.sigmf-meta -o i2 --format wv --marker 1:bursts", out), 2);
    EXPECT_NE(out.find("--marker 1:bursts: bursts marks a scene's bursts"), std::string::npos) << out;
}

// Brackets inside a quoted label, after an escaped quote, are text: no nesting.
TEST_F(WavegenScene, BracketsInAQuotedLabelAreNoNesting) {
    const std::string label = "\\\"" + std::string(70, '[');
    write("q.yaml", "sample_rate: 1e6\nparts:\n  - {kind: multitone, tone_count: 2, tone_spacing: 20000, label: \"" +
                        label + "\"}\n");
    std::string out;
    ASSERT_EQ(run("scene q.yaml -o quoted", out), 0) << out;
    EXPECT_NE(readText("quoted.sigmf-meta").find(std::string(70, '[')), std::string::npos);
}

TEST_F(WavegenScene, PartChannelsAndSignalDetailReachTheLibraryAndTheAnnotations) {
    write("c.json", R"({"sample_rate": 1e6, "parts": [
        {"kind": "digital", "mod_type": "qam16", "symbol_rate": 50000, "frequency_offset": -200000,
         "channel": {"snr_db": 20, "cfo_hz": 100, "channel_seed": 3}},
        {"kind": "multitone", "tone_count": 2, "tone_spacing": 20000, "frequency_offset": 200000,
         "burst_on": 1e-3, "burst_off": 1e-3}]})");
    std::string out;
    ASSERT_EQ(run("scene c.json -o ch", out), 0) << out;
    // The same through the C API, the channel as the options make it.
    DigitalModParams d{};  // the kind's defaults but for the two fields given
    d.modType = QAM16;
    d.symbolRate = 50000;
    d.freqDeviation = 250000;
    d.pnOrder = 9;
    d.pnSeed = 10;
    d.filterType = static_cast<FilterType>(3);
    d.filterSpan = 6;
    d.samplesPerSymbol = 8;
    d.rolloff = 0.35;
    MultitoneParams m{};
    m.toneCount = 2;
    m.toneSpacing = 20000;
    GenSignalChannel channel{};
    channel.noiseMode = GENSIGNAL_NOISE_SNR;
    channel.noiseDb = 20;
    channel.cfoHz = 100;
    channel.seed = 3;
    GenSignalScenePart parts[2]{};
    parts[0].recordKind = GENSIGNAL_RECORD_DIGITAL;
    parts[0].record = &d;
    parts[0].argument = 1000;
    parts[0].frequencyOffset = -200000;
    parts[0].channel = &channel;
    parts[1].recordKind = GENSIGNAL_RECORD_MULTITONE;
    parts[1].record = &m;
    parts[1].frequencyOffset = 200000;
    parts[1].burstOn = 1e-3;
    parts[1].burstOff = 1e-3;
    GenSignalScene s{};
    s.sampleRate = 1e6;
    s.partCount = 2;
    s.parts = parts;
    const LibraryIq lib = libraryIq([&](int h, int16_t** iq, int* n) { return GenerateSceneWaveform(h, &s, iq, n); });
    ASSERT_EQ(lib.rc, 0);
    EXPECT_TRUE(sameSamples(readFile("ch.sigmf-data"), lib.iq));
    const auto meta = nlohmann::json::parse(readText("ch.sigmf-meta"));
    bool signalExtension = false;
    for (const auto& e : meta["global"]["core:extensions"]) signalExtension = signalExtension || e["name"] == "signal";
    EXPECT_TRUE(signalExtension);
    for (const auto& a : meta["annotations"]) {
        if (a["gensignal:part"] == 0) {
            EXPECT_EQ(a["signal:detail"]["mod_class"], "qam") << a.dump();
            EXPECT_EQ(a["signal:detail"]["order"], 16) << a.dump();
        } else {
            EXPECT_FALSE(a.contains("signal:detail")) << a.dump();  // tones: no words of the extension
        }
    }
}
