// The file formats wavegen writes. Every writer returns false when the file
// cannot be written; all data are little-endian.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

// Raw int16 I/Q as the library hands it out.
bool writeRaw(const std::string& path, const int16_t* iq, int count);

// Raw complex float: each value divided by 32767 in double, rounded to float.
bool writeCf32(const std::string& path, const int16_t* iq, int count);

// Whether a WAV file can say this sample rate and hold this many values; an
// empty text when it can, else the reason.
std::string wavRefusal(double sampleRate, int count);
// Two-channel 16-bit PCM, I left and Q right. Check wavRefusal first.
bool writeWav(const std::string& path, const int16_t* iq, int count, double sampleRate);

// The SHA-512 of a file as 128 lower-case hex digits, empty when it cannot be read.
std::string sha512OfFile(const std::string& path);

// The metadata as written to .sigmf-meta: sorted keys, two-space indent,
// floats as Python writes them, a final newline (the Python package writes
// the very same bytes).
bool writeJson(const std::string& path, const nlohmann::json& meta);
