// What wavegen records of a waveform it made in the SigMF metadata: the
// gensignal extension's entries for the library's metadata writer.
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

// The fields every recording wavegen writes gives GenSignalSigmfMetadata:
// rate, digest, description, length, repeat, centre and time.
nlohmann::json recordingFields(double sampleRate, const std::string& sha512, const std::string& description,
                               int64_t samples, int64_t repeat, const std::optional<double>& centerFrequency,
                               const std::string& datetime);

// A generated waveform's recording: its kind, its record's fields, the loop,
// the channel, the markers, and one annotation of its measured band.
nlohmann::json waveformRecording(const Request& request, const Recording& recording);
