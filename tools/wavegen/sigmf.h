// The SigMF metadata of a waveform wavegen wrote (SigMF 1.2: the gensignal
// and signal extensions, both optional for readers).
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

#include "request.h"

struct Recording {
    double sampleRate = 0;
    int samples = 0;                        // in the library's buffer
    int64_t repeat = 1;                     // times the data file holds it
    std::string sha512;                     // of the data file
    double lowerEdge = 0, upperEdge = 0;    // Hz: the measured 99 % band, relative to the centre
    nlohmann::json measured;                // the measurements (null when they could not be made)
    std::string datetime;                   // empty: none (files stay reproducible)
    std::optional<double> centerFrequency;  // Hz at RF; none: baseband only
    nlohmann::json loop;                    // the loop the call made: gensignal:loop
    nlohmann::json markers;                 // gensignal:markers, null when none were asked for
};

// "gensignal 1.0.0": core:recorder and the annotation's core:generator.
std::string recorderName();

nlohmann::json sigmfMeta(const Request& request, const Recording& recording);
