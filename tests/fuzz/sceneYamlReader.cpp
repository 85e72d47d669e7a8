// wavegen's YAML scene reader on any text: it returns a reason or a JSON
// value and never ends the process (deep nesting, aliases, odd scalars).
// A reason is one printable line; a value read, written out as JSON and
// read again, is the same value when the parser takes that JSON back (it
// does not take every JSON text: invalid UTF-8 in a key, say).
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "entryPoints.h"
#include "fuzzFailure.h"
#include "sceneYaml.h"

namespace fuzzing {

namespace {

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    stopFuzzing("sceneyaml", format, args);
}

// JSON has no NaN or infinity; such a value cannot make the round trip.
bool allFinite(const nlohmann::json& v) {
    if (v.is_number_float()) return std::isfinite(v.get<double>());
    if (v.is_structured())
        for (const auto& item : v)
            if (!allFinite(item)) return false;
    return true;
}

}  // namespace

int fuzzSceneYaml(const uint8_t* data, size_t size) {
    if (size > (1 << 16)) return -1;
    const std::string text(reinterpret_cast<const char*>(data), size);
    nlohmann::json value;
    const std::string why = jsonOfYaml(text, value);
    if (!why.empty()) {
        for (char c : why)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                fail("the reason holds a control byte: %s", why.c_str());
        return 0;
    }
    if (!allFinite(value)) return 0;
    std::string json;
    try {
        json = value.dump(1, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (const nlohmann::json::exception& e) {
        fail("the value read cannot be written: %s", e.what());
    }
    nlohmann::json again;
    if (!jsonOfYaml(json, again).empty()) return 0;
    const nlohmann::json once = nlohmann::json::parse(json);
    if (again != once) fail("its JSON %s read back as %s", json.c_str(), again.dump().c_str());
    return 0;
}

}  // namespace fuzzing
