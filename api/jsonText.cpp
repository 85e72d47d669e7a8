#include "jsonText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void appendString(std::string& out, const std::string& s) {
    out += '"';
    for (const unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

void append(std::string& out, const nlohmann::json& v, int depth) {
    const std::string indent(2 * static_cast<size_t>(depth + 1), ' ');
    const std::string closing(2 * static_cast<size_t>(depth), ' ');
    switch (v.type()) {
        case nlohmann::json::value_t::object: {
            if (v.empty()) {
                out += "{}";
                return;
            }
            out += "{\n";
            bool first = true;
            for (auto it = v.begin(); it != v.end(); ++it) {  // a std::map: sorted keys
                if (!first) out += ",\n";
                first = false;
                out += indent;
                appendString(out, it.key());
                out += ": ";
                append(out, it.value(), depth + 1);
            }
            out += "\n" + closing + "}";
            return;
        }
        case nlohmann::json::value_t::array: {
            if (v.empty()) {
                out += "[]";
                return;
            }
            out += "[\n";
            for (size_t i = 0; i < v.size(); ++i) {
                if (i > 0) out += ",\n";
                out += indent;
                append(out, v[i], depth + 1);
            }
            out += "\n" + closing + "]";
            return;
        }
        case nlohmann::json::value_t::string: appendString(out, v.get_ref<const std::string&>()); return;
        case nlohmann::json::value_t::boolean: out += v.get<bool>() ? "true" : "false"; return;
        case nlohmann::json::value_t::number_integer: out += std::to_string(v.get<int64_t>()); return;
        case nlohmann::json::value_t::number_unsigned: out += std::to_string(v.get<uint64_t>()); return;
        case nlohmann::json::value_t::number_float: out += floatText(v.get<double>()); return;
        default: out += "null"; return;
    }
}

// The decimal mantissa * 10^exponent as "[-]d.ddde+x" for strtod.
std::string scientific(bool negative, const std::string& mantissa, int exponent) {
    return (negative ? "-" : "") + mantissa.substr(0, 1) + "." + mantissa.substr(1) + "e" + std::to_string(exponent);
}

// The shortest digits that read back as v: the digits and the exponent of
// the first, d.ddd * 10^exponent.
void shortestDigits(double v, std::string& digits, int& exponent) {
    const bool negative = std::signbit(v);
    for (int precision = 0; precision <= 16; ++precision) {
        char text[40];
        std::snprintf(text, sizeof text, "%.*e", precision, std::fabs(v));
        char* e = std::strchr(text, 'e');
        std::string mantissa = std::string(text, 1) + std::string(text + (precision ? 2 : 1), e);
        exponent = std::atoi(e + 1);
        if (std::strtod(scientific(negative, mantissa, exponent).c_str(), nullptr) == v) {
            digits = mantissa;
            return;
        }
        // printf gives the nearest decimal of this length; beside a power of
        // two the interval that reads back is narrower below than above, so
        // the next decimal up may read back where the nearest does not.
        const long long up = std::atoll(mantissa.c_str()) + 1;
        std::string next = std::to_string(up);
        int nextExponent = exponent;
        if (next.size() > mantissa.size()) {
            next.pop_back();
            ++nextExponent;
        }
        if (std::strtod(scientific(negative, next, nextExponent).c_str(), nullptr) == v) {
            digits = next;
            exponent = nextExponent;
            return;
        }
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.16e", std::fabs(v));
    digits = std::string(text, 1) + std::string(text + 2, std::strchr(text, 'e'));
    exponent = std::atoi(std::strchr(text, 'e') + 1);
}

}  // namespace

std::string floatText(double v) {
    if (!std::isfinite(v)) return "null";
    std::string digits;
    int exponent = 0;
    shortestDigits(v, digits, exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = std::signbit(v) ? "-" : "";
    if (exponent < -4 || exponent >= 16) {
        out += digits.substr(0, 1);
        if (digits.size() > 1) out += "." + digits.substr(1);
        char tail[16];
        std::snprintf(tail, sizeof tail, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return out + tail;
    }
    if (exponent < 0) return out + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) return out + digits + std::string(whole - digits.size(), '0') + ".0";
    return out + digits.substr(0, whole) + "." + digits.substr(whole);
}

std::string jsonText(const nlohmann::json& value) {
    std::string out;
    append(out, value, 0);
    return out;
}
