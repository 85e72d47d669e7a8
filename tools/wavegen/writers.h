// The file formats wavegen writes, each into a Sink, the library's buffer
// `repeat` times over (it loops). All data are little-endian; a writer
// returns false when the sink fails (the sink says why).
#pragma once

#include <cstdint>
#include <string>

#include "sink.h"

// int16 I/Q as the library hands it out (raw, and the SigMF data file).
bool writeInt16(Sink& sink, const int16_t* iq, int count, int64_t repeat);

// Complex float: each value divided by `scale` (32767 or 32768) in double,
// rounded to float.
bool writeCf32(Sink& sink, const int16_t* iq, int count, int64_t repeat, double scale);

// Whether a WAV file can say this sample rate and hold this many values; an
// empty text when it can, else the reason.
std::string wavRefusal(double sampleRate, int64_t values);
// Two-channel 16-bit PCM, I left and Q right. Check wavRefusal first.
bool writeWav(Sink& sink, const int16_t* iq, int count, int64_t repeat, double sampleRate);

// The SHA-512 of `size` bytes written `repeat` times, as 128 lower-case hex digits.
std::string sha512Hex(const char* bytes, size_t size, int64_t repeat);
// The SHA-512 of the int16 data writeInt16 writes.
std::string sha512OfInt16(const int16_t* iq, int count, int64_t repeat);
