// Marker lines 1-4 of a loop, as an instrument plays them beside the
// samples: --marker N:SPEC. `start` or `start:M` is high for the first M
// samples (1 by default); `period:K` for the first sample of every K-th
// natural period; `bursts` while any of a scene's bursts is on. Each line is kept as the samples where it goes high and
// low, which the .wv marker lists state directly and the marker file and
// SigMF metadata are made from.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

constexpr int kMarkerLines = 4;

struct MarkerSpec {
    int line = 0;  // 1 ... 4
    enum class Kind { start, period, bursts } kind = Kind::start;
    int64_t count = 1;  // M samples, or every K-th period
    std::string text;   // as given: "1:period:2"
};

// Reads one --marker text; empty on success, else the refusal.
std::string parseMarker(const std::string& text, MarkerSpec& out);

// One marker line over the loop: the half-open ranges [begin, end) where it
// is high, in order, apart and within the loop.
struct MarkerLine {
    int line = 0;
    std::string spec;  // "period:2"
    std::vector<std::pair<int64_t, int64_t>> high;
};

// Where the periods of the buffer begin, from the library's loop
// information: a period begins at the first sample at or after its start,
// j * samples / periods exactly when the buffer holds whole periods (always
// in exact mode), else j * samplesPerPeriod as a double.
struct LoopPeriods {
    int64_t samples = 0;
    int64_t periods = 0;
    double samplesPerPeriod = 0;
    bool whole = false;
};

// Where a scene's bursts are on: [begin, end) of each, in any order.
using BurstRanges = std::vector<std::pair<int64_t, int64_t>>;

// The lines for the specs over the loop (`bursts`: a scene's, null for any
// other waveform); empty text on success, else why not (a period marker on
// a loop with no periods, a bursts marker beside no scene, a line given
// twice).
std::string markerLines(const std::vector<MarkerSpec>& specs, const LoopPeriods& loop, std::vector<MarkerLine>& lines,
                        const BurstRanges* bursts = nullptr);

// One byte per sample, bit N-1 for marker N, over `samples` samples.
std::vector<uint8_t> markerBytes(const std::vector<MarkerLine>& lines, int64_t samples);

// The lines back from bytes: those whose bit is ever set.
std::vector<MarkerLine> linesFromBytes(const uint8_t* bytes, int64_t samples);

// "0:1;16:0": the state from each position on, as the .wv lists write it
// (no position at or beyond the loop's end).
std::string markerListText(const MarkerLine& line, int64_t samples);

// As the SigMF metadata records them: [{"marker": 1, "spec": "start:16",
// "high": [[0, 16]]}, ...].
nlohmann::json markersJson(const std::vector<MarkerLine>& lines);
