// The recording texts' entry points on any text, and on recordings whose
// fields are fuzzed (missing, of another type, out of range): each gives a
// text that is JSON of the length it says, or -1 with a reason and the
// buffer as it was; metadata written reads back as what it was written from.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "entryPoints.h"
#include "fuzzFailure.h"
#include "fuzzInput.h"
#include "wrapperGenSignalWave.h"

namespace fuzzing {

namespace {

nlohmann::json fuzzedValue(FuzzInput& in, const nlohmann::json& usual) {
    switch (in.byte() % 9) {
        case 0: return nullptr;
        case 1: return "2026-06-22T12:00:00.5Z";
        case 2: return in.signedReal(1, 1e13);
        case 3: return static_cast<int64_t>(in.integer(-5, 1 << 20));
        case 4: return nlohmann::json::array({usual});
        default: return usual;
    }
}

std::string fuzzedRecording(FuzzInput& in) {
    nlohmann::json r = {{"sample_rate", 1e6},
                        {"sha512", std::string(128, 'a')},
                        {"description", "d"},
                        {"samples", 10},
                        {"repeat", 2},
                        {"center_frequency", 1e9},
                        {"datetime", "2026-06-22T12:00:00Z"},
                        {"global", {{"gensignal:kind", "am"}}}};
    nlohmann::json a = {{"core:sample_start", 0},
                        {"core:sample_count", 10},
                        {"core:freq_lower_edge", -1e3},
                        {"core:freq_upper_edge", 1e3},
                        {"signal:detail", {{"type", "analog"}}}};
    for (auto& [key, value] : a.items()) value = fuzzedValue(in, value);
    r["annotations"] = nlohmann::json::array({a});
    for (auto& [key, value] : r.items())
        if (in.byte() % 4 == 0) value = fuzzedValue(in, value);
    if (in.byte() % 8 == 0 && r["global"].is_object()) r["global"]["core:label"] = "x";
    return r.dump();
}

// The entry point's text of `text`, checked; empty when it was refused.
std::string check(int (*make)(const char*, char*, int), const char* name, const std::string& text) {
    const int length = make(text.c_str(), nullptr, 0);
    char why[512];
    if (length < 0) {
        if (length != -1 || GenSignalGetLastError(why, sizeof why) <= 0)
            stopFuzzingAs("recording", "%s: %d without a reason", name, length);
        return "";
    }
    std::vector<char> small(static_cast<size_t>(length), '#');
    if (length > 0 &&
        (make(text.c_str(), small.data(), length) != -1 || std::count(small.begin(), small.end(), '#') != length))
        stopFuzzingAs("recording", "%s: a buffer one byte short was written or not refused", name);
    std::vector<char> out(static_cast<size_t>(length) + 1);
    if (make(text.c_str(), out.data(), length + 1) != length || std::strlen(out.data()) != static_cast<size_t>(length))
        stopFuzzingAs("recording", "%s: the text is not the %d bytes it said", name, length);
    if (nlohmann::json::parse(out.data(), nullptr, false).is_discarded())
        stopFuzzingAs("recording", "%s: its text is not JSON", name);
    return out.data();
}

// Metadata the library wrote reads back with the rate, repeat and length
// it was written with.
void readBack(const std::string& recording, const std::string& metadata) {
    const std::string facts = check(GenSignalSigmfRead, "GenSignalSigmfRead", metadata);
    if (facts.empty()) stopFuzzingAs("recording", "its own metadata is refused: %s", metadata.c_str());
    const nlohmann::json f = nlohmann::json::parse(facts), r = nlohmann::json::parse(recording);
    const int64_t repeat = r.contains("repeat") && !r["repeat"].is_null() ? r["repeat"].get<int64_t>() : 1;
    if (f["floats"] != false || f["sample_rate"] != r["sample_rate"] || f["repeat"] != repeat ||
        f["samples"] != r["samples"])
        stopFuzzingAs("recording", "read back as %s from %s", facts.c_str(), recording.c_str());
}

}  // namespace

int fuzzRecordingTexts(const uint8_t* data, size_t size) {
    if (size > (1 << 16)) return -1;
    FuzzInput in(data, size);
    const uint8_t how = in.byte();
    const std::string text =
        how % 2 ? fuzzedRecording(in) : std::string(reinterpret_cast<const char*>(data) + 1, size ? size - 1 : 0);
    const std::string metadata = check(GenSignalSigmfMetadata, "GenSignalSigmfMetadata", text);
    if (!metadata.empty()) readBack(text, metadata);
    if (how % 4 == 0) check(GenSignalJsonText, "GenSignalJsonText", text);
    if (how % 4 == 2) check(GenSignalSigmfRead, "GenSignalSigmfRead", text);
    return 0;
}

}  // namespace fuzzing
