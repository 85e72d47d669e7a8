#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {
// Packed record fields cannot bind to options; options fill this first.
struct PulseOptions {
    double pulseWidth = 1e-3;
    double pulsePeriod = 4e-3;
};
}  // namespace

std::unique_ptr<Kind> addPulseKind(CLI::App& app, OutputOptions& out) {
    auto kind = std::make_unique<Kind>();
    auto o = std::make_shared<PulseOptions>();
    kind->name = "pulse";
    kind->description = "Rectangular pulse train, one period";
    kind->defaultSampleRate = 1e6;
    kind->command = app.add_subcommand("pulse", "one period of a rectangular pulse train (I only)");
    CLI::App* cmd = kind->command;
    cmd->add_option("--pulse-width", o->pulseWidth, "duration of the high part in seconds")
        ->check(FinitePositive)
        ->capture_default_str();
    cmd->add_option("--pulse-period", o->pulsePeriod, "pulse repetition period in seconds")
        ->check(FinitePositive)
        ->capture_default_str();
    addOutputOptions(cmd, out);
    kind->generate = [o](int handle, double sampleRate, int16_t** iq, int* count) {
        const PulseParams p{o->pulseWidth, o->pulsePeriod};
        return GeneratePulseWaveform(handle, &p, iq, count, sampleRate);
    };
    kind->fields = [o] {
        return nlohmann::json{{"pulseWidth", o->pulseWidth}, {"pulsePeriod", o->pulsePeriod}};
    };
    return kind;
}
