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

// What every recording wavegen writes says in its global object, whatever
// made it: int16 I/Q at the rate, the data's hash, what it is and its
// extensions. The writer adds its own gensignal fields.
struct RecordingCore {
    double sampleRate = 0;
    std::string sha512;
    std::string description;
    int64_t samples = 0;  // gensignal:samples, in the library's buffer
    int64_t repeat = 1;   // gensignal:repeat when above 1
    bool detail = false;  // an annotation carries signal:detail
};
nlohmann::json sigmfGlobal(const RecordingCore& core);

// The one capture: the centre at RF and the time, each where given.
nlohmann::json sigmfCapture(const std::optional<double>& centerFrequency, const std::string& datetime);

nlohmann::json sigmfMeta(const Request& request, const Recording& recording);
