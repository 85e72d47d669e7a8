// The SigMF metadata of a waveform wavegen wrote.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "band.h"
#include "request.h"

struct Recording {
    double sampleRate = 0;
    int samples = 0;
    std::string sha512;    // of the data file
    Band band;             // 99 % of the power
    std::string datetime;  // empty: none (files stay reproducible)
    nlohmann::json loop;   // the loop the call made: gensignal:loop
};

nlohmann::json sigmfMeta(const Request& request, const Recording& recording);
