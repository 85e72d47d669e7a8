// The tagged waveform file (.wv) of vector signal generators: ASCII tags
// {NAME: data} in front of the binary {WAVEFORM-length:#...} tag, which
// holds I and Q alternately as little-endian int16. TYPE comes first with
// the checksum the format documents (the 32-bit words of the samples
// XOR-ed into 0xA50F74FF, written in decimal); CLOCK is the sample rate,
// LEVEL OFFS the RMS and peak below full scale (32767) in dB, SAMPLES the
// count, and with markers CONTROL LENGTH and one MARKER LIST per line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "markers.h"

struct LevelOffsets {
    double rmsDb = 0;   // how far the RMS magnitude lies below 32767
    double peakDb = 0;  // how far the peak magnitude lies below 32767
};

// The offsets of `count` int16 values (I/Q pairs); none for silence, whose
// offsets would be infinite (the tag is then left out).
std::optional<LevelOffsets> levelOffsets(const int16_t* iq, int count);

// The documented checksum of the data, the buffer `repeat` times over.
uint32_t wvChecksum(const int16_t* iq, int count, int64_t repeat);

struct WvHeader {
    double clock = 0;
    int64_t samples = 0;  // in the file: the buffer times repeat
    uint32_t checksum = 0;
    std::optional<LevelOffsets> levels;
    std::string comment;  // printable ASCII; '}' cannot appear in a tag
    std::string date;     // "yyyy-mm-dd;hh:mm:ss", empty: none
    std::vector<MarkerLine> markers;
    int64_t controlLength = 0;  // the loop's samples, when there are markers
};

// Every tag up to and including "{WAVEFORM-length:#"; the samples and "}"
// follow it.
std::string wvTags(const WvHeader& header);

// A .wv file read back: its tags as they state them and the samples.
struct WvFile {
    WvHeader header;
    bool checksumStated = false;  // a TYPE checksum other than 0 or text
    bool samplesStated = false;
    bool clockStated = false;
    std::vector<int16_t> iq;
};

// Reads the file's bytes; false with the fault (a missing or misplaced
// tag, a length or count that disagrees, a checksum that does not match).
bool parseWv(const char* bytes, size_t size, WvFile& out, std::string& error);
