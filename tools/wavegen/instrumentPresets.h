// Named instrument families (--instrument NAME) and the lengths each one
// takes, read from the table the Python package ships
// (python/gensignal/instruments.json, built into wavegen): each sets the
// library's granularity, minimum length and memory options on the handle.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct InstrumentPreset {
    std::string name, family, source;
    int64_t granularity = 1, minLength = 0, maxSamples = 0;
};

// Every preset, in the table's order (by name).
const std::vector<InstrumentPreset>& instrumentPresets();
const InstrumentPreset* findInstrument(const std::string& name);

// The options a preset sets, as (option, value) in the order they are set.
std::vector<std::pair<int, double>> instrumentOptions(const InstrumentPreset& preset);

void addInstrumentOption(CLI::App* command, std::string& name);

// Sets the preset's options on the handle (nothing when `name` is empty);
// empty on success, else the refusal in wavegen's words.
std::string applyInstrument(int handle, const std::string& name);
