#include <cmath>

#include "kinds.h"

static std::string checkNumber(const std::string& text, bool positive) {
    double v = 0;
    try {
        size_t used = 0;
        v = std::stod(text, &used);
        if (used != text.size()) return "not a number: " + text;
    } catch (...) {
        return "not a number: " + text;
    }
    if (!std::isfinite(v)) return "must be finite: " + text;
    if (positive && !(v > 0)) return "must be above 0: " + text;
    return {};
}

const CLI::Validator FinitePositive(
    [](std::string& text) { return checkNumber(text, true); }, "POSITIVE", "finite positive number");
const CLI::Validator Finite([](std::string& text) { return checkNumber(text, false); }, "FINITE", "finite number");

void addOutputOptions(CLI::App* command, OutputOptions& out) {
    command->add_option("-o,--output", out.base, "output file name without suffix")->capture_default_str();
    command->add_option("--format", out.format, "sigmf (.sigmf-data and .sigmf-meta) or raw (.raw, int16 I/Q only)")
        ->check(CLI::IsMember({"sigmf", "raw"}))
        ->capture_default_str();
    command->add_option("--sample-rate", out.sampleRate, "sample rate in samples per second")
        ->check(FinitePositive);
}

CLI::Option* addEnumOption(CLI::App* command, const std::string& flag, int32_t& target,
                           const std::map<std::string, int>& names, const std::string& help) {
    // CLI11 lists the accepted names and numbers in the help text.
    return command->add_option(flag, target, help)
        ->transform(CLI::CheckedTransformer(names, CLI::ignore_case))
        ->capture_default_str();
}
