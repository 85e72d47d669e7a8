// Writing a recording as the output options ask, for every command that
// writes one (a waveform, an impaired file, a scene): raw, cf32 and WAV
// data, SigMF data with its metadata, or an instrument's files (wv, iqbin), to standard output or to files that are
// each whole under a temporary name before either is renamed into place,
// the data first, the free space checked before a byte is written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "markers.h"
#include "outputOptions.h"

// `meta()` makes the SigMF metadata text once the space is known to be
// there (its digest reads every byte). Returns the exit status (0 written,
// 1 a file could not be written, 2 the format refuses the waveform) and
// names where the data went in `written`. `rateOption` names the sample
// rate as the command's user gave it, for WAV's refusal. The instrument
// formats take `comment` and the marker lines.
int writeRecording(const Output& out, const int16_t* iq, int count, const std::function<std::string()>& meta,
                   const std::string& rateOption, std::string& written, const std::string& comment = "",
                   const std::vector<MarkerLine>& markers = {});
