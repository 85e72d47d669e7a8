#include "optionText.h"

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::string wholeText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", v);
    return text;
}

}  // namespace

std::string readNumber(const std::string& text, double& value) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(start, &end);
    // Overflow reads as inf, as the text says; underflow as the nearest double.
    if (text.empty() || end != start + text.size() || std::isspace(static_cast<unsigned char>(text[0])))
        return "expected a number such as 1e6";
    value = v;
    return {};
}

std::string readWhole(const std::string& text, double lowest, double highest, double& value) {
    double v = 0;
    const std::string expected = "expected a whole number from " + wholeText(lowest) + " to " + wholeText(highest);
    if (!readNumber(text, v).empty() || !(v >= lowest && v <= highest) || v != std::floor(v)) return expected;
    value = v;
    return {};
}

std::string readInt32(const std::string& text, int32_t& value) {
    double v = 0;
    std::string why = readWhole(text, -2147483648.0, 2147483647.0, v);
    if (why.empty()) value = static_cast<int32_t>(v);
    return why;
}

std::string readTruth(const std::string& text, bool& value) {
    for (const char* yes : {"true", "yes", "on", "1"})
        if (strcasecmp(text.c_str(), yes) == 0) {
            value = true;
            return {};
        }
    for (const char* no : {"false", "no", "off", "0"})
        if (strcasecmp(text.c_str(), no) == 0) {
            value = false;
            return {};
        }
    return "expected true or false";
}

std::string readChoice(const std::string& text, const std::vector<std::pair<std::string, int>>& choices,
                       int32_t& value) {
    for (const auto& [name, number] : choices)
        if (strcasecmp(name.c_str(), text.c_str()) == 0) {
            value = number;
            return {};
        }
    if (readInt32(text, value).empty()) return {};
    std::string names;
    for (size_t i = 0; i < choices.size(); ++i)
        names += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i].first;
    return "expected " + names + ", or a whole number";
}

std::string optionRefusal(const std::string& option, const std::string& text, const std::string& reason) {
    return option + " " + text + ": " + reason;
}
