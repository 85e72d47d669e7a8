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
        const char* text;
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
        {"f.json", R"({"sample_rate": 1e6, "parts": [{"kind": "am", "level_db": "high"}]})",
         "parts[0].level_db = \"high\": expected a number"},
        {"g.json", R"({"sample_rate": 0, "parts": [{"kind": "am"}]})", "GenSignalScene.sampleRate = 0"},
        {"h.yaml", "sample_rate: 1e6", "YAML scenes are not read"},
    };
    for (const Case& c : cases) {
        write(c.file, c.text);
        std::string out;
        EXPECT_EQ(run(std::string("scene ") + c.file + " -o x", out), 2) << c.file;
        EXPECT_NE(out.find(c.reason), std::string::npos) << c.file << ": " << out;
    }
}
