// The library's SigMF metadata, the one writer and reader of wavegen and the
// Python package: the core entries it puts around the host's own, the edges
// at RF, the buffer's protocol, every refusal leaving the buffer as it was,
// and what a recording's metadata says of its data.
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

std::string readOf(const std::string& metadata) {
    const int length = GenSignalSigmfRead(metadata.c_str(), nullptr, 0);
    if (length < 0) return "refused: " + lastError();
    std::string out(static_cast<size_t>(length) + 1, '\0');
    EXPECT_EQ(GenSignalSigmfRead(metadata.c_str(), out.data(), length + 1), length);
    out.resize(static_cast<size_t>(length));
    return out;
}

struct Reading {
    const char* metadata;
    const char* facts;  // or "refused: " and the reason
};

TEST(SigmfRead, WhatTheMetadataSaysOfItsData) {
    const std::string digest = std::string(127, 'a') + "B";
    const std::string lower = std::string(127, 'a') + "b";
    const std::vector<Reading> readings = {
        {R"({"global": {"core:datatype": "ci16_le", "core:sample_rate": 8e6}})",
         R"({"datatype":"ci16_le","described":0,"floats":false,"repeat":1,"sample_rate":8000000.0,"samples":0,)"
         R"("sha512":null})"},
        // The buffer times its repeat, or an annotation's end where that is further.
        {R"({"global": {"core:datatype": "cf32_le", "core:sample_rate": 1, "gensignal:samples": 10,
             "gensignal:repeat": 3, "core:num_channels": 1},
             "annotations": [{"core:sample_start": 25, "core:sample_count": 10}, 7]})",
         R"({"datatype":"cf32_le","described":35,"floats":true,"repeat":3,"sample_rate":1.0,"samples":10,)"
         R"("sha512":null})"},
        // Counts of other types, or below 1, describe nothing; ends beyond 64 bits everything.
        {R"({"global": {"core:datatype": "ci16_le", "core:sample_rate": 1, "gensignal:samples": "5"},
             "annotations": [{"core:sample_start": "9", "core:sample_count": -4}]})",
         R"({"datatype":"ci16_le","described":0,"floats":false,"repeat":1,"sample_rate":1.0,"samples":0,)"
         R"("sha512":null})"},
        {R"({"global": {"core:datatype": "ci16_le", "core:sample_rate": 1},
             "annotations": [{"core:sample_start": 9223372036854775807, "core:sample_count": 9}]})",
         R"({"datatype":"ci16_le","described":9223372036854775807,"floats":false,"repeat":1,"sample_rate":1.0,)"
         R"("samples":0,"sha512":null})"},
        {R"({"global": {"core:datatype": "ci16_le", "core:sample_rate": 1, "gensignal:samples": 4611686018427387904,
             "gensignal:repeat": 4}})",
         R"({"datatype":"ci16_le","described":9223372036854775807,"floats":false,"repeat":4,"sample_rate":1.0,)"
         R"("samples":4611686018427387904,"sha512":null})"},
        // Data of another type: the host words the refusal.
        {R"({"global": {"core:datatype": "cu8", "core:num_channels": 2}})", R"({"datatype":"cu8","floats":null})"},
        {R"({"global": {"core:datatype": 5}})", R"({"datatype":"","floats":null})"},
        {R"({"global": []})", "refused: no \"global\" object"},
        {R"([1])", "refused: no \"global\" object"},
        {R"({"global": {"core:datatype": "ci16_le", "core:num_channels": 2}})",
         "refused: 2 channels; only single-channel recordings are read"},
        {R"({"global": {"core:datatype": "ci16_le", "core:sample_rate": "8e6"}})", "refused: no core:sample_rate"},
        {R"({"global": {"core:datatype": "ci16_le", "core:sample_rate": 1, "gensignal:repeat": 0}})",
         "refused: gensignal:repeat 0 is not a whole number from 1 up"},
        {R"({"global": {"core:datatype": "ci16_le", "core:sample_rate": 1, "gensignal:repeat": 2.0}})",
         "refused: gensignal:repeat 2.0 is not a whole number from 1 up"},
    };
    for (const Reading& r : readings) EXPECT_EQ(readOf(r.metadata), r.facts) << r.metadata;
    const std::string hashed =
        R"({"global": {"core:datatype": "ci16_le", "core:sample_rate": 1, "core:sha512": ")" + digest + "\"}}";
    EXPECT_EQ(json::parse(readOf(hashed))["sha512"], lower);
}

TEST(SigmfRead, MetadataWrittenReadsBackAsItWasWritten) {
    json r = plainRecording();
    r["repeat"] = 4;
    r["annotations"][0]["core:sample_count"] = 32000;
    const std::string in = r.dump();
    std::string meta(static_cast<size_t>(GenSignalSigmfMetadata(in.c_str(), nullptr, 0)) + 1, '\0');
    ASSERT_GT(GenSignalSigmfMetadata(in.c_str(), meta.data(), static_cast<int>(meta.size())), 0);
    const json facts = json::parse(readOf(meta.c_str()));
    EXPECT_EQ(facts["sample_rate"], 8e6);
    EXPECT_EQ(facts["repeat"], 4);
    EXPECT_EQ(facts["samples"], 8000);
    EXPECT_EQ(facts["described"], 32000);
    EXPECT_EQ(facts["sha512"], std::string(64, 'a') + std::string(64, 'f'));
}

}  // namespace
