// Big-endian int16 I/Q (.iqbin), I then Q, most significant byte first,
// with no header; beside it, when there are markers, NAME.marker: one byte
// per sample, bit 0 for marker 1 up to bit 3 for marker 4 (bits 4-7 are
// reserved and written 0).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes of `count` values, once.
std::vector<char> iqbinBytes(const int16_t* iq, int count);

// The values back; false with the fault (an odd size, no samples).
bool parseIqbin(const char* bytes, size_t size, std::vector<int16_t>& iq, std::string& error);

// "x.iqbin" -> "x.marker" (the data file's name without its suffix).
std::string markerFileName(const std::string& dataName);
