// `wavegen measure FILE`: the library's measurements of a waveform file,
// as a table or as one JSON object, EVM against the gensignal record its
// SigMF metadata carries.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

struct MeasureOptions {
    std::string file;
    bool json = false;
    double sampleRate = 0;
    double channelBandwidth = 0, channelSpacing = 0, obwPercent = 99;
    CLI::Option* rateOption = nullptr;
};

CLI::App* addMeasureCommand(CLI::App& app, MeasureOptions& options);

// Exit status: 0 measured, 2 a bad file, option or refusal, 3 out of memory.
int runMeasure(const MeasureOptions& options);
