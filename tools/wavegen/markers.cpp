#include "markers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

bool wholeFrom(const std::string& text, int64_t lowest, int64_t& value) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::strtoll(text.c_str(), nullptr, 10);
    return value >= lowest;
}

// The first sample at or after the start of period j.
int64_t periodStart(int64_t j, const LoopPeriods& loop) {
    if (!loop.whole) return static_cast<int64_t>(std::ceil(static_cast<double>(j) * loop.samplesPerPeriod));
    const __int128 num = static_cast<__int128>(j) * loop.samples;
    return static_cast<int64_t>((num + loop.periods - 1) / loop.periods);
}

// The union of the ranges within [0, samples), in order and apart.
std::vector<std::pair<int64_t, int64_t>> mergedRanges(BurstRanges ranges, int64_t samples) {
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<int64_t, int64_t>> out;
    for (auto [begin, end] : ranges) {
        begin = std::max<int64_t>(begin, 0);
        end = std::min(end, samples);
        if (begin >= end) continue;
        if (!out.empty() && begin <= out.back().second)
            out.back().second = std::max(out.back().second, end);
        else
            out.emplace_back(begin, end);
    }
    return out;
}

}  // namespace

std::string parseMarker(const std::string& text, MarkerSpec& out) {
    const std::string refusal = "--marker " + text + ": ";
    const size_t colon = text.find(':');
    int64_t line = 0;
    if (colon == std::string::npos || !wholeFrom(text.substr(0, colon), 1, line) || line > kMarkerLines)
        return refusal + "expected N:SPEC with a marker N from 1 to 4 (1:start, 2:start:16, 3:period:4)";
    out = MarkerSpec();
    out.line = static_cast<int>(line);
    out.text = text;
    const std::string spec = text.substr(colon + 1);
    const size_t second = spec.find(':');
    const std::string name = spec.substr(0, second),
                      argument = second == std::string::npos ? "" : spec.substr(second + 1);
    if (name == "start") {
        out.kind = MarkerSpec::Kind::start;
        if (second != std::string::npos && !wholeFrom(argument, 1, out.count))
            return refusal + "start:M needs a whole number of samples M from 1";
        return {};
    }
    if (name == "period") {
        out.kind = MarkerSpec::Kind::period;
        if (!wholeFrom(argument, 1, out.count)) return refusal + "period:K needs a whole number of periods K from 1";
        return {};
    }
    if (name == "bursts" && second == std::string::npos) {
        out.kind = MarkerSpec::Kind::bursts;
        return {};
    }
    return refusal + "expected start, start:M, period:K or bursts after the marker number";
}

std::string markerLines(const std::vector<MarkerSpec>& specs, const LoopPeriods& loop, std::vector<MarkerLine>& lines,
                        const BurstRanges* bursts) {
    lines.clear();
    for (const MarkerSpec& s : specs) {
        for (const MarkerLine& l : lines)
            if (l.line == s.line) return "--marker " + s.text + ": marker " + std::to_string(s.line) + " given twice";
        MarkerLine l;
        l.line = s.line;
        l.spec = s.text.substr(s.text.find(':') + 1);
        if (s.kind == MarkerSpec::Kind::start) {
            l.high.emplace_back(0, std::min(s.count, loop.samples));
        } else if (s.kind == MarkerSpec::Kind::bursts) {
            if (!bursts) return "--marker " + s.text + ": bursts marks a scene's bursts: wavegen scene makes them";
            l.high = mergedRanges(*bursts, loop.samples);
        } else {
            if (loop.periods < 1 || (!loop.whole && !(loop.samplesPerPeriod > 0)))
                return "--marker " + s.text + ": this waveform states no natural periods to mark";
            for (int64_t j = 0; j < loop.periods; j += s.count) {
                const int64_t at = periodStart(j, loop);
                if (at >= loop.samples) break;
                // Periods shorter than a sample can start on the same one.
                if (!l.high.empty() && l.high.back().second > at) continue;
                if (!l.high.empty() && l.high.back().second == at)
                    l.high.back().second = at + 1;
                else
                    l.high.emplace_back(at, at + 1);
            }
        }
        lines.push_back(l);
    }
    std::sort(lines.begin(), lines.end(), [](const MarkerLine& a, const MarkerLine& b) { return a.line < b.line; });
    return {};
}

std::vector<uint8_t> markerBytes(const std::vector<MarkerLine>& lines, int64_t samples) {
    std::vector<uint8_t> bytes(static_cast<size_t>(samples), 0);
    for (const MarkerLine& l : lines)
        for (const auto& [begin, end] : l.high)
            for (int64_t i = begin; i < end && i < samples; ++i) bytes[static_cast<size_t>(i)] |= 1u << (l.line - 1);
    return bytes;
}

std::vector<MarkerLine> linesFromBytes(const uint8_t* bytes, int64_t samples) {
    std::vector<MarkerLine> lines;
    for (int line = 1; line <= kMarkerLines; ++line) {
        MarkerLine l;
        l.line = line;
        const uint8_t bit = static_cast<uint8_t>(1u << (line - 1));
        for (int64_t i = 0; i < samples; ++i) {
            if (!(bytes[i] & bit)) continue;
            if (!l.high.empty() && l.high.back().second == i)
                l.high.back().second = i + 1;
            else
                l.high.emplace_back(i, i + 1);
        }
        if (!l.high.empty()) lines.push_back(l);
    }
    return lines;
}

std::string markerListText(const MarkerLine& line, int64_t samples) {
    std::string text;
    auto add = [&](int64_t position, int state) {
        text += (text.empty() ? "" : ";") + std::to_string(position) + ":" + std::to_string(state);
    };
    if (line.high.empty() || line.high.front().first > 0) add(0, 0);
    for (const auto& [begin, end] : line.high) {
        add(begin, 1);
        if (end < samples) add(end, 0);
    }
    return text;
}

nlohmann::json markersJson(const std::vector<MarkerLine>& lines) {
    nlohmann::json out = nlohmann::json::array();
    for (const MarkerLine& l : lines) {
        nlohmann::json high = nlohmann::json::array();
        for (const auto& [begin, end] : l.high) high.push_back({begin, end - begin});
        out.push_back({{"marker", l.line}, {"spec", l.spec}, {"high", high}});
    }
    return out;
}
