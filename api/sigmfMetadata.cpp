#include "sigmfMetadata.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>

#ifndef GENSIGNAL_VERSION
#error "GENSIGNAL_VERSION must be defined (the project's version)"
#endif

namespace {

using nlohmann::json;

// SigMF bounds core:frequency to this.
constexpr double kFrequencyLimit = 1e12;

json extension(const char* name, const char* version) {
    // Optional: a reader that does not know it still reads the recording.
    return {{"name", name}, {"version", version}, {"optional", true}};
}

bool isWhole(const json& v) { return v.is_number_integer() || v.is_number_unsigned(); }

std::string quoted(const json& v) { return v.dump(-1, ' ', false, json::error_handler_t::replace); }

// "2026-06-22T12:00:00Z", with a fraction of a second or without.
bool isUtcTime(const std::string& s) {
    const char* form = "dddd-dd-ddTdd:dd:dd";
    size_t i = 0;
    for (; form[i]; ++i) {
        if (i >= s.size()) return false;
        const bool digit = std::isdigit(static_cast<unsigned char>(s[i])) != 0;
        if (form[i] == 'd' ? !digit : s[i] != form[i]) return false;
    }
    if (i < s.size() && s[i] == '.') {
        const size_t first = ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        if (i == first) return false;
    }
    return i + 1 == s.size() && s[i] == 'Z';
}

struct Fields {
    const json& recording;
    std::string& why;

    const json* find(const char* name) const {
        const auto it = recording.find(name);
        return it == recording.end() || it->is_null() ? nullptr : &*it;
    }
    bool refuse(const char* name, const json& v, const char* must) const {
        why = std::string("recording.") + name + " = " + quoted(v) + ": " + must;
        return false;
    }
    bool number(const char* name, double& out, bool positive, double limit) const {
        const json* v = find(name);
        if (!v) return positive ? refuse(name, nullptr, "must be given") : true;
        if (!v->is_number()) return refuse(name, *v, "must be a number");
        out = v->get<double>();
        if (positive && (!(out > 0) || !(out <= limit))) return refuse(name, *v, "must be above 0 and finite");
        if (!positive && !(std::fabs(out) <= limit)) return refuse(name, *v, "must be from -1e12 to 1e12 Hz");
        return true;
    }
    bool whole(const char* name, int64_t& out, int64_t least, bool required) const {
        const json* v = find(name);
        if (!v) return required ? refuse(name, nullptr, "must be given") : true;
        if (!isWhole(*v) || (v->is_number_integer() && v->get<int64_t>() < least) ||
            (v->is_number_unsigned() && v->get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)))
            return refuse(name, *v,
                          least > 0 ? "must be a whole number from 1 up" : "must be a whole number from 0 up");
        out = v->get<int64_t>();
        return true;
    }
    bool text(const char* name, std::string& out, bool required) const {
        const json* v = find(name);
        if (!v) return required ? refuse(name, nullptr, "must be given") : true;
        if (!v->is_string()) return refuse(name, *v, "must be a string");
        out = v->get<std::string>();
        return true;
    }
};

bool knownKeys(const json& recording, std::string& why) {
    static const char* const known[] = {"sample_rate",      "sha512",   "description", "samples",    "repeat",
                                        "center_frequency", "datetime", "global",      "annotations"};
    for (const auto& [key, value] : recording.items()) {
        bool found = false;
        for (const char* k : known) found = found || key == k;
        if (!found) {
            why = "recording." + key +
                  ": not a field (sample_rate, sha512, description, samples, repeat, "
                  "center_frequency, datetime, global, annotations)";
            return false;
        }
    }
    return true;
}

bool isSha512(const std::string& s) {
    if (s.size() != 128) return false;
    for (const char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// The host's own global entries: its extension's, never the core's.
bool hostGlobal(const json& recording, json& global, std::string& why) {
    const auto it = recording.find("global");
    if (it == recording.end() || it->is_null()) return true;
    if (!it->is_object()) {
        why = "recording.global = " + quoted(*it) + ": must be an object";
        return false;
    }
    for (const auto& [key, value] : it->items()) {
        if (key.rfind("core:", 0) == 0) {
            why = "recording.global." + key + ": the core entries are written from the recording's fields";
            return false;
        }
        global[key] = value;
    }
    return true;
}

// Each annotation with its generator, the edges moved to RF when the
// centre is known; `detail` tells whether one carries signal:detail.
bool annotationsOf(const json& recording, const double* centre, json& out, bool& detail, std::string& why) {
    out = json::array();
    const auto it = recording.find("annotations");
    if (it == recording.end() || it->is_null()) return true;
    if (!it->is_array()) {
        why = "recording.annotations = " + quoted(*it) + ": must be an array of objects";
        return false;
    }
    for (size_t i = 0; i < it->size(); ++i) {
        json a = (*it)[i];
        const std::string at = "recording.annotations[" + std::to_string(i) + "]";
        if (!a.is_object()) {
            why = at + " = " + quoted(a) + ": must be an object";
            return false;
        }
        for (const char* key : {"core:sample_start", "core:sample_count"}) {
            const auto v = a.find(key);
            if (v == a.end() || !isWhole(*v) || (v->is_number_integer() && v->get<int64_t>() < 0)) {
                why = at + "." + key + ": must be a whole number from 0 up";
                return false;
            }
        }
        for (const char* key : {"core:freq_lower_edge", "core:freq_upper_edge"}) {
            const auto v = a.find(key);
            if (v == a.end()) continue;
            if (!v->is_number()) {
                why = at + "." + key + " = " + quoted(*v) + ": must be a number (Hz)";
                return false;
            }
            if (centre) *v = v->get<double>() + *centre;
        }
        a["core:generator"] = recorderName();
        detail = detail || a.contains("signal:detail");
        out.push_back(std::move(a));
    }
    return true;
}

}  // namespace

std::string recorderName() { return std::string("gensignal ") + GENSIGNAL_VERSION; }

json sigmfMetadata(const json& recording, std::string& why) {
    if (!recording.is_object()) {
        why = "recording = " + quoted(recording) + ": must be an object";
        return json::object();
    }
    const Fields f{recording, why};
    double rate = 0, centre = 0;
    int64_t samples = 0, repeat = 1;
    std::string sha512, description, datetime;
    if (!knownKeys(recording, why) || !f.number("sample_rate", rate, true, 1.7976931348623157e308) ||
        !f.text("sha512", sha512, true) || !f.text("description", description, true) ||
        !f.whole("samples", samples, 0, true) || !f.whole("repeat", repeat, 1, false) ||
        !f.number("center_frequency", centre, false, kFrequencyLimit) || !f.text("datetime", datetime, false))
        return json::object();
    if (!isSha512(sha512)) {
        f.refuse("sha512", sha512, "must be 128 hexadecimal digits (the data file's SHA-512)");
        return json::object();
    }
    if (!datetime.empty() && !isUtcTime(datetime)) {
        f.refuse("datetime", datetime, "must be an ISO 8601 UTC time such as 2026-06-22T12:00:00Z");
        return json::object();
    }
    const bool centred = f.find("center_frequency") != nullptr;

    json global = json::object();
    json annotations;
    bool detail = false;
    if (!hostGlobal(recording, global, why) ||
        !annotationsOf(recording, centred ? &centre : nullptr, annotations, detail, why))
        return json::object();
    global["core:datatype"] = "ci16_le";
    global["core:sample_rate"] = rate;
    global["core:version"] = "1.2.0";
    global["core:num_channels"] = 1;
    global["core:sha512"] = sha512;
    global["core:description"] = description;
    global["core:recorder"] = recorderName();
    // Enumerations by name since 2.0.0 of the gensignal extension (numbers before).
    global["core:extensions"] = json::array({extension("gensignal", "2.0.0")});
    if (detail) global["core:extensions"].push_back(extension("signal", "1.0.0"));
    global["gensignal:samples"] = samples;
    if (repeat > 1) global["gensignal:repeat"] = repeat;

    json capture = {{"core:sample_start", 0}};
    if (centred) capture["core:frequency"] = centre;
    if (!datetime.empty()) capture["core:datetime"] = datetime;
    return {{"global", std::move(global)},
            {"captures", json::array({std::move(capture)})},
            {"annotations", std::move(annotations)}};
}
