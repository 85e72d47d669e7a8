#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>

#include "sigmfMetadata.h"

namespace {

using nlohmann::json;

constexpr int64_t kMost = std::numeric_limits<int64_t>::max();

// A whole count from 1 up, else 0: only such counts describe samples.
int64_t countOf(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_number_integer() && it->get<int64_t>() > 0 ? it->get<int64_t>() : 0;
}

// The samples the data must hold: the buffer times its repeat, and the end
// of every annotation; a sum beyond 64 bits describes more than any file.
int64_t describedSamples(const json& meta, int64_t period, int64_t repeat) {
    int64_t described = period > 0 && repeat > kMost / period ? kMost : period * repeat;
    const auto annotations = meta.find("annotations");
    if (annotations == meta.end() || !annotations->is_array()) return described;
    for (const json& a : *annotations) {
        if (!a.is_object()) continue;
        const int64_t start = countOf(a, "core:sample_start"), length = countOf(a, "core:sample_count");
        described = std::max(described, start > kMost - length ? kMost : start + length);
    }
    return described;
}

}  // namespace

json sigmfFacts(const json& meta, std::string& why) {
    const auto global = meta.is_object() ? meta.find("global") : meta.end();
    if (!meta.is_object() || global == meta.end() || !global->is_object()) {
        why = "no \"global\" object";
        return json::object();
    }
    const json& g = *global;
    const auto type = g.find("core:datatype");
    const std::string datatype = type != g.end() && type->is_string() ? type->get<std::string>() : "";
    json facts = {{"datatype", datatype}};
    // Data of another type is not read: the host says so in its own words.
    if (datatype != "ci16_le" && datatype != "cf32_le") {
        facts["floats"] = nullptr;
        return facts;
    }
    facts["floats"] = datatype == "cf32_le";
    if (g.contains("core:num_channels") && g["core:num_channels"] != 1) {
        why = g["core:num_channels"].dump() + " channels; only single-channel recordings are read";
        return json::object();
    }
    if (!g.contains("core:sample_rate") || !g["core:sample_rate"].is_number()) {
        why = "no core:sample_rate";
        return json::object();
    }
    facts["sample_rate"] = g["core:sample_rate"].get<double>();
    int64_t repeat = 1;
    if (const auto r = g.find("gensignal:repeat"); r != g.end()) {
        if (!r->is_number_integer() || r->get<int64_t>() < 1) {
            why = "gensignal:repeat " + r->dump() + " is not a whole number from 1 up";
            return json::object();
        }
        repeat = r->get<int64_t>();
    }
    facts["repeat"] = repeat;
    const int64_t period = countOf(g, "gensignal:samples");
    facts["samples"] = period;
    facts["described"] = describedSamples(meta, period, repeat);
    facts["sha512"] = nullptr;
    if (const auto sha = g.find("core:sha512"); sha != g.end() && sha->is_string()) {
        std::string digest = sha->get<std::string>();
        for (char& c : digest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        facts["sha512"] = digest;
    }
    return facts;
}
