// `wavegen measure FILE`: the library's measurements of a waveform file,
// as a table or as one JSON object, EVM against the gensignal record its
// SigMF metadata carries.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

// The options as given, read after parsing so that a refusal names the
// option, its text and what was expected.
struct MeasureOptions {
    std::string file;
    bool json = false;
    std::string sampleRate, channelBandwidth, channelSpacing, obwPercent;
    std::string channel;  // a preset: lte5, nr20, ...
    // A capture's modulation, for EVM without a record: qpsk, 1e6, 0.35.
    std::string mod, symbolRate, rrc;
};

CLI::App* addMeasureCommand(CLI::App& app, MeasureOptions& options);

// Exit status: 0 measured, 2 a bad file, option or refusal, 3 out of memory.
int runMeasure(const MeasureOptions& options);
