#include "wvFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kChecksumSeed = 0xA50F74FF;
constexpr double kFullScale = 32767;

// The shortest decimal that reads back as v, without an exponent: CLOCK
// and LEVEL OFFS state plain numbers (54000000, 3.45).
std::string decimal(double v) {
    char text[400];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

// A comment's text as a tag can hold it: printable ASCII without '}'.
std::string printable(const std::string& text) {
    std::string out;
    for (char c : text) out += (c >= 0x20 && c < 0x7f && c != '}') ? c : ' ';
    return out;
}

struct Tag {
    std::string name;                   // "TYPE", "WAVEFORM-401"
    size_t dataBegin = 0, dataEnd = 0;  // after the colon (and spaces), up to '}'
};

bool parseWhole(const std::string& text, int64_t& value) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

bool parseReal(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// A file's text as a message can show it: a terminal reads control bytes
// as commands, so every byte outside printable ASCII is written as \xNN,
// and a long text is cut.
std::string shown(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    size_t i = 0;
    for (; i < text.size() && out.size() < 60; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return i < text.size() ? out + "..." : out;
}

std::string trimmed(const std::string& text) {
    const size_t b = text.find_first_not_of(" \t\r\n"), e = text.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? "" : text.substr(b, e - b + 1);
}

// A range where the line is high; one that starts where the last ended
// (a list that states 1 twice running) extends it.
void addHigh(MarkerLine& line, int64_t begin, int64_t end) {
    if (!line.high.empty() && line.high.back().second == begin)
        line.high.back().second = end;
    else
        line.high.emplace_back(begin, end);
}

// "0:1;16:0" into the ranges where the line is high over `length` samples.
bool parseMarkerList(const std::string& text, int64_t length, MarkerLine& line) {
    int64_t previous = -1;
    int state = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t semi = text.find(';', at);
        if (semi == std::string::npos) semi = text.size();
        const std::string entry = trimmed(text.substr(at, semi - at));
        at = semi + 1;
        if (entry.empty()) {
            if (semi == text.size()) break;
            return false;
        }
        const size_t colon = entry.find(':');
        int64_t position = 0, value = 0;
        if (colon == std::string::npos || !parseWhole(trimmed(entry.substr(0, colon)), position) ||
            !parseWhole(trimmed(entry.substr(colon + 1)), value) || value > 1 || position <= previous)
            return false;
        // The state holds from the previous position up to this one.
        if (state == 1 && previous >= 0 && previous < length) addHigh(line, previous, std::min(position, length));
        previous = position;
        state = static_cast<int>(value);
    }
    if (previous < 0) return false;
    if (state == 1 && previous < length) addHigh(line, previous, length);
    return true;
}

}  // namespace

std::optional<LevelOffsets> levelOffsets(const int16_t* iq, int count) {
    const int samples = count / 2;
    double sum = 0, peak2 = 0;
    for (int i = 0; i < samples; ++i) {
        const double p = double(iq[2 * i]) * iq[2 * i] + double(iq[2 * i + 1]) * iq[2 * i + 1];
        sum += p;
        if (p > peak2) peak2 = p;
    }
    if (!(peak2 > 0)) return std::nullopt;
    const double rms = std::sqrt(sum / samples), peak = std::sqrt(peak2);
    return LevelOffsets{-20 * std::log10(rms / kFullScale), -20 * std::log10(peak / kFullScale)};
}

uint32_t wvChecksum(const int16_t* iq, int count, int64_t repeat) {
    uint32_t once = 0;
    for (int i = 0; i + 1 < count; i += 2)
        once ^= static_cast<uint32_t>(static_cast<uint16_t>(iq[i])) |
                (static_cast<uint32_t>(static_cast<uint16_t>(iq[i + 1])) << 16);
    // XOR-ing the same words twice cancels them.
    return kChecksumSeed ^ (repeat % 2 == 1 ? once : 0);
}

std::string wvTags(const WvHeader& h) {
    std::string text = "{TYPE: SMU-WV," + std::to_string(h.checksum) + "}";
    if (!h.comment.empty()) text += "{COMMENT: " + printable(h.comment) + "}";
    if (!h.date.empty()) text += "{DATE: " + h.date + "}";
    text += "{CLOCK: " + decimal(h.clock) + "}";
    if (h.levels) text += "{LEVEL OFFS: " + decimal(h.levels->rmsDb) + "," + decimal(h.levels->peakDb) + "}";
    text += "{SAMPLES: " + std::to_string(h.samples) + "}";
    if (!h.markers.empty()) {
        text += "{CONTROL LENGTH: " + std::to_string(h.controlLength) + "}";
        for (const MarkerLine& l : h.markers)
            text += "{MARKER LIST " + std::to_string(l.line) + ": " + markerListText(l, h.controlLength) + "}";
    }
    // No space after the colon: the length then counts '#' and the samples
    // by either of the format's readings (bytes from the colon to the brace).
    text += "{WAVEFORM-" + std::to_string(4 * h.samples + 1) + ":#";
    return text;
}

namespace {

// A file's tags in order, and where its samples lie.
struct TagList {
    std::vector<Tag> tags;
    bool haveWaveform = false;
    size_t dataBegin = 0, dataEnd = 0;
};

// The WAVEFORM tag whose name ends at `colon`: its samples' place, and in
// `next` the byte after its brace.
bool waveformTag(const char* bytes, size_t size, const Tag& tag, size_t colon, TagList& list, size_t& next,
                 std::string& error) {
    if (list.haveWaveform) {
        error = "a second WAVEFORM tag";
        return false;
    }
    int64_t length = 0;
    if (!parseWhole(tag.name.substr(9), length) || length < 1) {
        error = "{" + shown(tag.name) + ": the length is not a whole number from 1";
        return false;
    }
    size_t hash = colon + 1;
    while (hash < size && bytes[hash] == ' ') ++hash;
    if (hash >= size || bytes[hash] != '#') {
        error = "{" + shown(tag.name) + ": no '#' before the samples";
        return false;
    }
    // The length counts from the colon to the brace; a writer that put
    // spaces before '#' may have counted from '#' instead.
    const uint64_t fromColon = colon + 1 + static_cast<uint64_t>(length);
    const uint64_t fromHash = hash + static_cast<uint64_t>(length);
    uint64_t brace = 0;
    if (fromColon < size && bytes[fromColon] == '}' && fromColon > hash)
        brace = fromColon;
    else if (fromHash < size && bytes[fromHash] == '}')
        brace = fromHash;
    else {
        error = "{" + shown(tag.name) + ": " + std::to_string(length) +
                " bytes do not end at a '}' in the file; truncated?";
        return false;
    }
    list.dataBegin = hash + 1;
    list.dataEnd = static_cast<size_t>(brace);
    list.haveWaveform = true;
    list.tags.push_back(tag);
    next = list.dataEnd + 1;
    return true;
}

// The tag that starts at `at`: added to the list (a tag of counted bytes
// is skipped), and in `next` the byte after it.
bool oneTag(const char* bytes, size_t size, size_t at, TagList& list, size_t& next, std::string& error) {
    if (bytes[at] != '{') {
        error = "byte " + std::to_string(at) + " is not the '{' of a tag";
        return false;
    }
    const void* colonAt = std::memchr(bytes + at, ':', size - at);
    if (!colonAt) {
        error = "the tag at byte " + std::to_string(at) + " has no ':'";
        return false;
    }
    const size_t colon = static_cast<const char*>(colonAt) - bytes;
    Tag tag;
    tag.name = std::string(bytes + at + 1, colon - at - 1);
    if (tag.name.find_first_of("{}") != std::string::npos) {
        error = "the tag at byte " + std::to_string(at) + " has no ':' before its '}'";
        return false;
    }
    if (tag.name.rfind("WAVEFORM-", 0) == 0) return waveformTag(bytes, size, tag, colon, list, next, error);
    const size_t dash = tag.name.rfind('-');
    int64_t counted = 0;
    if (dash != std::string::npos && parseWhole(tag.name.substr(dash + 1), counted)) {
        // A tag of counted bytes (EMPTYTAG, CONTROL LIST WIDTH4): skipped.
        const uint64_t brace = colon + 1 + static_cast<uint64_t>(counted);
        if (brace >= size || bytes[brace] != '}') {
            error = "{" + shown(tag.name) + ": " + std::to_string(counted) + " bytes do not end at a '}'";
            return false;
        }
        next = static_cast<size_t>(brace) + 1;
        return true;
    }
    const void* braceAt = std::memchr(bytes + colon, '}', size - colon);
    if (!braceAt) {
        error = "{" + shown(tag.name) + ": no closing '}'";
        return false;
    }
    tag.dataBegin = colon + 1;
    tag.dataEnd = static_cast<const char*>(braceAt) - bytes;
    list.tags.push_back(tag);
    next = tag.dataEnd + 1;
    return true;
}

// Every tag of the file, which starts with TYPE and holds one WAVEFORM of
// whole I/Q samples.
bool splitTags(const char* bytes, size_t size, TagList& list, std::string& error) {
    size_t at = 0;
    while (at < size) {
        while (at < size && (bytes[at] == '\r' || bytes[at] == '\n' || bytes[at] == ' ' || bytes[at] == '\t')) ++at;
        if (at >= size) break;
        if (!oneTag(bytes, size, at, list, at, error)) return false;
    }
    if (list.tags.empty() || list.tags.front().name != "TYPE") {
        error = "the first tag is not TYPE";
        return false;
    }
    if (!list.haveWaveform) {
        error = "no WAVEFORM tag";
        return false;
    }
    const size_t dataSize = list.dataEnd - list.dataBegin;
    if (dataSize % 4 != 0 || dataSize == 0) {
        error = "the WAVEFORM tag holds " + std::to_string(dataSize) + " bytes, not a whole number of I/Q samples";
        return false;
    }
    return true;
}

// TYPE's magic and checksum ("SMU-WV, 1234"); 0 or text is no checksum, as
// the format says.
bool typeTag(const std::string& data, WvFile& out, std::string& error) {
    const size_t comma = data.find(',');
    const std::string magic = trimmed(data.substr(0, comma));
    if (magic != "SMU-WV") {
        error = "TYPE " + shown(magic) + ": only single waveforms (SMU-WV) are read";
        return false;
    }
    int64_t sum = 0;
    if (comma != std::string::npos && parseWhole(trimmed(data.substr(comma + 1)), sum) && sum != 0) {
        if (sum > 0xffffffffLL) {
            error = "TYPE: the checksum " + std::to_string(sum) + " does not fit 32 bits";
            return false;
        }
        out.header.checksum = static_cast<uint32_t>(sum);
        out.checksumStated = true;
    }
    return true;
}

using MarkerTexts = std::vector<std::pair<int, std::string>>;

// One header tag into the header; tags it does not know are left alone.
// Marker lists wait in `markers` for the control length.
bool headerTag(const std::string& name, const std::string& data, WvFile& out, MarkerTexts& markers,
               std::string& error) {
    WvHeader& h = out.header;
    if (name == "TYPE") return typeTag(data, out, error);
    if (name == "CLOCK") {
        if (!parseReal(data, h.clock) || !(h.clock > 0)) {
            error = "CLOCK " + shown(data) + ": not a rate above 0";
            return false;
        }
        out.clockStated = true;
    } else if (name == "SAMPLES") {
        if (!parseWhole(data, h.samples)) {
            error = "SAMPLES " + shown(data) + ": not a whole number";
            return false;
        }
        out.samplesStated = true;
    } else if (name == "LEVEL OFFS") {
        const size_t comma = data.find(',');
        LevelOffsets l;
        if (comma == std::string::npos || !parseReal(trimmed(data.substr(0, comma)), l.rmsDb) ||
            !parseReal(trimmed(data.substr(comma + 1)), l.peakDb)) {
            error = "LEVEL OFFS " + shown(data) + ": expected two numbers, RMS and peak offsets in dB";
            return false;
        }
        h.levels = l;
    } else if (name == "COMMENT") {
        h.comment = data;
    } else if (name == "DATE") {
        h.date = data;
    } else if (name == "CONTROL LENGTH") {
        if (!parseWhole(data, h.controlLength) || h.controlLength < 1) {
            error = "CONTROL LENGTH " + shown(data) + ": not a whole number from 1";
            return false;
        }
    } else if (name.rfind("MARKER LIST ", 0) == 0) {
        int64_t line = 0;
        if (!parseWhole(name.substr(12), line) || line < 1 || line > kMarkerLines) {
            error = shown(name) + ": markers are numbered 1 to 4";
            return false;
        }
        markers.emplace_back(static_cast<int>(line), data);
    }
    return true;
}

// The marker lists over the control length (the samples when none is
// given), in line order, each line at most once.
bool markerLines(const MarkerTexts& texts, int64_t length, WvHeader& h, std::string& error) {
    for (const auto& [line, text] : texts) {
        MarkerLine l;
        l.line = line;
        if (!parseMarkerList(text, length, l)) {
            error = "MARKER LIST " + std::to_string(line) + " " + shown(text) +
                    ": expected Pos:State entries (State 0 or 1) at rising positions, apart by ';'";
            return false;
        }
        for (const MarkerLine& seen : h.markers)
            if (seen.line == line) {
                error = "MARKER LIST " + std::to_string(line) + " given twice";
                return false;
            }
        h.markers.push_back(l);
    }
    std::sort(h.markers.begin(), h.markers.end(),
              [](const MarkerLine& a, const MarkerLine& b) { return a.line < b.line; });
    return true;
}

// The little-endian I/Q words into `out.iq`, checked against TYPE's
// checksum when it states one.
bool samplesOf(const unsigned char* p, int64_t samples, WvFile& out, std::string& error) {
    out.iq.resize(static_cast<size_t>(2 * samples));
    uint32_t sum = kChecksumSeed;
    for (int64_t i = 0; i < samples; ++i, p += 4) {
        const uint32_t word = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
        sum ^= word;
        out.iq[2 * i] = static_cast<int16_t>(word & 0xffff);
        out.iq[2 * i + 1] = static_cast<int16_t>(word >> 16);
    }
    if (out.checksumStated && sum != out.header.checksum) {
        error = "TYPE: the checksum " + std::to_string(out.header.checksum) + " does not match the samples' " +
                std::to_string(sum);
        return false;
    }
    return true;
}

}  // namespace

bool parseWv(const char* bytes, size_t size, WvFile& out, std::string& error) {
    out = WvFile();
    TagList list;
    if (!splitTags(bytes, size, list, error)) return false;
    const int64_t samples = static_cast<int64_t>((list.dataEnd - list.dataBegin) / 4);
    MarkerTexts markers;
    for (const Tag& tag : list.tags) {
        if (tag.name.rfind("WAVEFORM-", 0) == 0) continue;
        const std::string data = trimmed(std::string(bytes + tag.dataBegin, tag.dataEnd - tag.dataBegin));
        if (!headerTag(tag.name, data, out, markers, error)) return false;
    }
    if (out.samplesStated && out.header.samples != samples) {
        error = "SAMPLES " + std::to_string(out.header.samples) + " but the WAVEFORM tag holds " +
                std::to_string(samples) + " samples";
        return false;
    }
    out.header.samples = samples;
    const int64_t length = out.header.controlLength > 0 ? out.header.controlLength : samples;
    if (!markerLines(markers, length, out.header, error)) return false;
    return samplesOf(reinterpret_cast<const unsigned char*>(bytes + list.dataBegin), samples, out, error);
}
