// wavegen's instrument formats, wv (the tagged .wv file) and iqbin
// (big-endian I/Q with NAME.marker): each file is written under
// NAME.partial in its folder and renamed when whole, the marker file with
// its data file, so that a failure leaves what was there before.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "markers.h"
#include "outputOptions.h"

struct InstrumentWaveform {
    const int16_t* iq = nullptr;
    int count = 0;        // int16 values of one buffer
    std::string comment;  // the waveform's description
    std::vector<MarkerLine> markers;
};

// Whether the format and destination can hold what is asked; empty when
// they can, else the refusal.
std::string instrumentRefusal(const Output& out, const InstrumentWaveform& w);

// Writes the file(s); 0, or 1 with the reason on standard error. `written`
// names the data file.
int writeInstrumentFiles(const Output& out, const InstrumentWaveform& w, std::string& written);

// "2026-06-22T12:00:00Z" -> "2026-06-22;12:00:00", the DATE tag's form.
std::string wvDate(const std::string& isoTime);
