// The library's SigMF metadata, the one writer of wavegen and the Python
// package: the core entries it puts around the host's own, the edges at RF,
// the buffer's protocol, and every refusal leaving the buffer as it was.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "wrapperGenSignalWave.h"

namespace {

using nlohmann::json;

json plainRecording() {
    return {{"sample_rate", 8e6},
            {"sha512", std::string(64, 'a') + std::string(64, 'F')},
            {"description", "am: mod-depth 50 %"},
            {"samples", 8000},
            {"global", {{"gensignal:kind", "am"}}},
            {"annotations",
             {{{"core:sample_start", 0},
               {"core:sample_count", 8000},
               {"core:freq_lower_edge", -1000.5},
               {"core:freq_upper_edge", 2000.0},
               {"core:label", "am"}}}}};
}

std::string lastError() {
    char why[512];
    return GenSignalGetLastError(why, sizeof why) > 0 ? why : "";
}

json metadataOf(const json& recording) {
    const std::string in = recording.dump();
    const int length = GenSignalSigmfMetadata(in.c_str(), nullptr, 0);
    EXPECT_GT(length, 0) << lastError();
    std::string out(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
    EXPECT_EQ(GenSignalSigmfMetadata(in.c_str(), out.data(), length + 1), length);
    out.resize(static_cast<size_t>(std::max(length, 0)));
    EXPECT_EQ(out.back(), '\n');
    return json::parse(out);
}

TEST(SigmfMetadata, CoreEntriesAroundTheHostsOwn) {
    const json meta = metadataOf(plainRecording());
    const json& global = meta["global"];
    EXPECT_EQ(global["core:datatype"], "ci16_le");
    EXPECT_EQ(global["core:sample_rate"], 8e6);
    EXPECT_EQ(global["core:sha512"], plainRecording()["sha512"]);
    EXPECT_EQ(global["gensignal:kind"], "am");
    EXPECT_EQ(global["gensignal:samples"], 8000);
    EXPECT_FALSE(global.contains("gensignal:repeat"));
    ASSERT_EQ(global["core:extensions"].size(), 1u);
    EXPECT_EQ(global["core:extensions"][0]["name"], "gensignal");
    EXPECT_EQ(meta["captures"], json::parse(R"([{"core:sample_start": 0}])"));
    const json& a = meta["annotations"][0];
    EXPECT_EQ(a["core:freq_lower_edge"], -1000.5);  // relative: no centre
    EXPECT_EQ(a["core:generator"], global["core:recorder"]);
}

TEST(SigmfMetadata, TheCentreMovesTheEdgesToRfAndDetailAddsItsExtension) {
    json r = plainRecording();
    r["center_frequency"] = 2.4e9;
    r["datetime"] = "2026-06-22T12:00:00.25Z";
    r["repeat"] = 3;
    r["annotations"][0]["signal:detail"] = {{"type", "analog"}};
    const json meta = metadataOf(r);
    EXPECT_EQ(meta["captures"][0]["core:frequency"], 2.4e9);
    EXPECT_EQ(meta["captures"][0]["core:datetime"], "2026-06-22T12:00:00.25Z");
    EXPECT_EQ(meta["annotations"][0]["core:freq_lower_edge"], -1000.5 + 2.4e9);
    EXPECT_EQ(meta["annotations"][0]["core:freq_upper_edge"], 2000.0 + 2.4e9);
    EXPECT_EQ(meta["global"]["gensignal:repeat"], 3);
    ASSERT_EQ(meta["global"]["core:extensions"].size(), 2u);
    EXPECT_EQ(meta["global"]["core:extensions"][1]["name"], "signal");
}

TEST(SigmfMetadata, TheTextIsCopiedOnlyWhenItFitsWithItsZero) {
    const std::string in = plainRecording().dump();
    const int length = GenSignalSigmfMetadata(in.c_str(), nullptr, 0);
    ASSERT_GT(length, 0);
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '#');
    EXPECT_EQ(GenSignalSigmfMetadata(in.c_str(), buffer.data(), length), -1);
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), '#'), length + 1);
    EXPECT_NE(lastError().find("bufferSize"), std::string::npos);
    EXPECT_EQ(GenSignalSigmfMetadata(in.c_str(), nullptr, 5), -1);
    EXPECT_EQ(GenSignalSigmfMetadata(in.c_str(), buffer.data(), length + 1), length);
    EXPECT_EQ(buffer[static_cast<size_t>(length)], '\0');
    EXPECT_EQ(GenSignalJsonText("[0.30000000000000004, 1e-05, 1e999]", nullptr, 0), -1);  // 1e999: not finite
    char text[64];
    ASSERT_EQ(GenSignalJsonText("[0.30000000000000004,1e-05]", text, sizeof text), 34);
    EXPECT_STREQ(text, "[\n  0.30000000000000004,\n  1e-05\n]");
}

struct Refusal {
    const char* what;
    std::function<void(json&)> change;
    const char* reason;  // a part of the message
};

TEST(SigmfMetadata, RefusalsNameTheFieldAndWriteNothing) {
    const std::vector<Refusal> refusals = {
        {"rate below 0", [](json& r) { r["sample_rate"] = -1; }, "recording.sample_rate = -1"},
        {"rate 0", [](json& r) { r["sample_rate"] = 0; }, "recording.sample_rate = 0"},
        {"rate a string", [](json& r) { r["sample_rate"] = "8e6"; }, "must be a number"},
        {"no rate", [](json& r) { r.erase("sample_rate"); }, "sample_rate = null: must be given"},
        {"short digest", [](json& r) { r["sha512"] = "abc"; }, "128 hexadecimal digits"},
        {"digest not hex", [](json& r) { r["sha512"] = std::string(128, 'g'); }, "128 hexadecimal digits"},
        {"no description", [](json& r) { r.erase("description"); }, "recording.description"},
        {"samples below 0", [](json& r) { r["samples"] = -1; }, "recording.samples = -1"},
        {"samples not whole", [](json& r) { r["samples"] = 1.5; }, "recording.samples = 1.5"},
        {"repeat 0", [](json& r) { r["repeat"] = 0; }, "whole number from 1 up"},
        {"centre too far", [](json& r) { r["center_frequency"] = 2e12; }, "from -1e12 to 1e12"},
        {"time not UTC", [](json& r) { r["datetime"] = "2026-06-22T12:00:00"; }, "recording.datetime"},
        {"time spaced", [](json& r) { r["datetime"] = "2026-06-22 12:00:00Z"; }, "ISO 8601 UTC"},
        {"time empty fraction", [](json& r) { r["datetime"] = "2026-06-22T12:00:00.Z"; }, "recording.datetime"},
        {"misspelt field", [](json& r) { r["sample_rat"] = 1; }, "recording.sample_rat: not a field"},
        {"global not an object", [](json& r) { r["global"] = json::array(); }, "recording.global = []"},
        {"a core entry", [](json& r) { r["global"]["core:datatype"] = "cf32_le"; }, "global.core:datatype"},
        {"annotations an object", [](json& r) { r["annotations"] = json::object(); }, "recording.annotations"},
        {"annotation a number", [](json& r) { r["annotations"][0] = 3; }, "annotations[0] = 3"},
        {"no sample count", [](json& r) { r["annotations"][0].erase("core:sample_count"); }, "core:sample_count"},
        {"edge a string", [](json& r) { r["annotations"][0]["core:freq_upper_edge"] = "x"; }, "freq_upper_edge"},
        {"not an object", [](json& r) { r = json::array({1}); }, "recording = [1]"},
    };
    for (const Refusal& c : refusals) {
        json r = plainRecording();
        c.change(r);
        std::vector<char> buffer(1 << 16, '#');
        EXPECT_EQ(GenSignalSigmfMetadata(r.dump().c_str(), buffer.data(), static_cast<int>(buffer.size())), -1)
            << c.what;
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), '#'), static_cast<long>(buffer.size())) << c.what;
        EXPECT_NE(lastError().find(c.reason), std::string::npos) << c.what << ": " << lastError();
    }
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    for (const char* text : {"{", "[NaN]", "\"\xff\"", deep.c_str()}) {
        EXPECT_EQ(GenSignalJsonText(text, nullptr, 0), -1) << text;
        EXPECT_EQ(GenSignalSigmfMetadata(text, nullptr, 0), -1) << text;
    }
    EXPECT_EQ(GenSignalJsonText(nullptr, nullptr, 0), -1);
}

}  // namespace
