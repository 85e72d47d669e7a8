// The SigMF metadata of a waveform wavegen wrote.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "request.h"

struct Recording {
    double sampleRate = 0;
    int samples = 0;
    std::string sha512;           // of the data file
    double lowerEdge = 0;         // Hz: the band holding 99 % of the power
    double upperEdge = 0;
    nlohmann::json measured;      // the measurements (null when they could not be made)
    std::string datetime;         // empty: none (files stay reproducible)
};

nlohmann::json sigmfMeta(const Request& request, const Recording& recording);
