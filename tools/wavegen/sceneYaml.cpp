#include "sceneYaml.h"

// GCC 12 warns inside <regex> (a std::function in the automaton "may be used
// uninitialized") when built with the sanitizers; the warning is the
// compiler's, not this file's.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <regex>

namespace {

constexpr int kMaxDepth = 64;

// The parser recurses on flow collections: a deep nesting would end the
// process before a node is seen, so it is refused on the text first.
bool nestsTooDeep(const std::string& text) {
    int depth = 0;
    char quote = 0;
    bool escaped = false;  // the byte after a backslash in a double-quoted scalar
    for (char c : text) {
        if (quote) {
            if (escaped)
                escaped = false;
            else if (quote == '"' && c == '\\')
                escaped = true;
            else if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        } else if (c == '\n') {
            quote = 0;
        }
    }
    return false;
}

nlohmann::json plainScalar(const std::string& v) {
    static const std::regex null("~|null|Null|NULL|"), yes("true|True|TRUE"), no("false|False|FALSE"),
        whole("[-+]?[0-9]+"), real("[-+]?(\\.[0-9]+|[0-9]+(\\.[0-9]*)?)([eE][-+]?[0-9]+)?"),
        inf("[-+]?\\.(inf|Inf|INF)"), nan("\\.(nan|NaN|NAN)");
    if (std::regex_match(v, null)) return nullptr;
    if (std::regex_match(v, yes)) return true;
    if (std::regex_match(v, no)) return false;
    if (std::regex_match(v, whole)) {
        errno = 0;
        char* end = nullptr;
        const long long n = std::strtoll(v.c_str(), &end, 10);
        if (errno == 0 && *end == 0) return n;
    }
    if (std::regex_match(v, whole) || std::regex_match(v, real)) return std::strtod(v.c_str(), nullptr);
    if (std::regex_match(v, inf))
        return v[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    if (std::regex_match(v, nan)) return std::numeric_limits<double>::quiet_NaN();
    return v;
}

std::string convert(const YAML::Node& node, int depth, const std::string& where, nlohmann::json& out) {
    if (depth > kMaxDepth) return where + ": nested deeper than 64";
    switch (node.Type()) {
        case YAML::NodeType::Undefined:
        case YAML::NodeType::Null: out = nullptr; return "";
        case YAML::NodeType::Scalar:
            // "!" marks a quoted scalar: a text whatever it spells.
            out = node.Tag() == "!" ? nlohmann::json(node.Scalar()) : plainScalar(node.Scalar());
            return "";
        case YAML::NodeType::Sequence: {
            out = nlohmann::json::array();
            size_t i = 0;
            for (const YAML::Node& item : node) {
                nlohmann::json v;
                if (std::string why = convert(item, depth + 1, where + "[" + std::to_string(i++) + "]", v);
                    !why.empty())
                    return why;
                out.push_back(std::move(v));
            }
            return "";
        }
        case YAML::NodeType::Map: {
            out = nlohmann::json::object();
            for (const auto& entry : node) {
                if (!entry.first.IsScalar()) return where + ": a key that is not a plain name";
                const std::string key = entry.first.Scalar();
                const std::string at = where.empty() ? key : where + "." + key;
                if (out.contains(key)) return at + ": the key appears twice";
                nlohmann::json v;
                if (std::string why = convert(entry.second, depth + 1, at, v); !why.empty()) return why;
                out[key] = std::move(v);
            }
            return "";
        }
    }
    return where + ": a node of no known type";
}

// The parser's message may quote the bytes it stopped at, and a reason
// names the keys on its path: control bytes are spelled out, so that the
// reason stays one printable line.
std::string printable(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f) {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
            out += escaped;
        }
    }
    return out;
}

}  // namespace

std::string jsonOfYaml(const std::string& text, nlohmann::json& out) {
    if (nestsTooDeep(text)) return "nested deeper than 64";
    YAML::Node root;
    try {
        root = YAML::Load(text);
        return printable(convert(root, 0, "", out));  // keys are quoted in the reason
    } catch (const YAML::Exception& e) {
        return printable(e.what());
    }
}
