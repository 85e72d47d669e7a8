// One waveform kind of wavegen: a subcommand whose options fill a parameter
// record, the call into the library, and the record's fields for the
// metadata file.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

// Options every subcommand shares.
struct OutputOptions {
    std::string base = "waveform";  // file name without the .sigmf-data/.sigmf-meta suffix
    std::string format = "sigmf";   // sigmf or raw
    double sampleRate = 0;          // 0: the kind's default
};

struct Kind {
    std::string name;
    std::string description;    // one line for the metadata
    double defaultSampleRate = 0;
    CLI::App* command = nullptr;
    // Calls the library on `handle`; returns its result code.
    std::function<int(int handle, double sampleRate, int16_t** iq, int* count)> generate;
    // Every record field (and extra argument) by its name in the header.
    std::function<nlohmann::json()> fields;
};

// Adds -o/--output, --format and --sample-rate to a subcommand.
void addOutputOptions(CLI::App* command, OutputOptions& out);

// An enumerated option that takes a name (case-insensitive) or its number.
CLI::Option* addEnumOption(CLI::App* command, const std::string& flag, int32_t& target,
                           const std::map<std::string, int>& names, const std::string& help);

// Accepts only finite numbers above zero (CLI11's PositiveNumber lets NaN through).
extern const CLI::Validator FinitePositive;
// Accepts only finite numbers.
extern const CLI::Validator Finite;

std::unique_ptr<Kind> addAmKind(CLI::App& app, OutputOptions& out);
std::unique_ptr<Kind> addFmKind(CLI::App& app, OutputOptions& out);
std::unique_ptr<Kind> addStepSweepKind(CLI::App& app, OutputOptions& out);
std::unique_ptr<Kind> addRampSweepKind(CLI::App& app, OutputOptions& out);
std::unique_ptr<Kind> addOfdmKind(CLI::App& app, OutputOptions& out);
std::unique_ptr<Kind> addDssKind(CLI::App& app, OutputOptions& out);
std::unique_ptr<Kind> addMultitoneKind(CLI::App& app, OutputOptions& out);
std::unique_ptr<Kind> addPulseKind(CLI::App& app, OutputOptions& out);
std::unique_ptr<Kind> addAwgnKind(CLI::App& app, OutputOptions& out);
std::unique_ptr<Kind> addDigitalKind(CLI::App& app, OutputOptions& out);
