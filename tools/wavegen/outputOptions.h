// The options every subcommand shares: where and how the waveform is
// written. They are bound to their texts and read after parsing, so that a
// refusal names the option, the text and what was expected.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "markers.h"

struct OutputOptions {
    std::string output = "waveform";
    std::string format;           // empty: sigmf, or raw for standard output
    std::string sampleRate;       // empty: the kind's
    std::string datetime;         // empty: no core:datetime
    std::string repeat;           // empty: once
    std::string centerFrequency;  // empty: none recorded
    std::string cf32Scale;        // empty: 32767
    std::vector<std::string> markers;
};

void addOutputOptions(CLI::App* command, OutputOptions& options);

struct Output {
    std::string name;  // as given with -o; "-" is standard output
    std::string format;
    double sampleRate = 0;
    int64_t repeat = 1;
    std::optional<double> centerFrequency;
    double cf32Scale = 32767;
    std::string datetime;  // resolved ("now" becomes the time)
    std::vector<MarkerSpec> markers;

    bool toStandardOutput() const { return name == "-"; }
};

// Reads the options, with `defaultRate` where no rate is given; returns the
// first refusal ("--repeat 0: expected a whole number from 1 to ...") or "".
std::string readOutput(const OutputOptions& options, double defaultRate, Output& out);
