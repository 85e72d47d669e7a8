#include <limits>

#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {
// Packed record fields cannot bind to options; options fill this first.
struct StepSweepOptions {
    double startFrequency = 0.0;
    double stopFrequency = 1e6;
    int32_t stepCount = 11;
    double dwellTime = 1e-3;
};
}  // namespace

std::unique_ptr<Kind> addStepSweepKind(CLI::App& app, OutputOptions& out) {
    auto kind = std::make_unique<Kind>();
    auto o = std::make_shared<StepSweepOptions>();
    kind->name = "stepsweep";
    kind->description = "stepped frequency sweep centred on 0 Hz";
    kind->defaultSampleRate = 10e6;
    kind->command = app.add_subcommand(
        "stepsweep", "stepped frequency sweep centred on 0 Hz (start and stop only set the step spacing)");
    CLI::App* cmd = kind->command;
    cmd->add_option("--start-frequency", o->startFrequency, "start frequency in Hz")
        ->check(Finite)
        ->capture_default_str();
    cmd->add_option("--stop-frequency", o->stopFrequency, "stop frequency in Hz (below the start sweeps downwards)")
        ->check(Finite)
        ->capture_default_str();
    cmd->add_option("--step-count", o->stepCount, "number of steps")
        ->check(CLI::Range(2, std::numeric_limits<int32_t>::max()))
        ->capture_default_str();
    cmd->add_option("--dwell-time", o->dwellTime, "time on each step in seconds")
        ->check(FinitePositive)
        ->capture_default_str();
    addOutputOptions(cmd, out);
    kind->generate = [o](int handle, double sampleRate, int16_t** iq, int* count) {
        const StepSweepParams p{o->startFrequency, o->stopFrequency, o->stepCount, o->dwellTime};
        return GenerateStepSweepWaveform(handle, &p, iq, count, sampleRate);
    };
    kind->fields = [o] {
        return nlohmann::json{{"startFrequency", o->startFrequency},
                              {"stopFrequency", o->stopFrequency},
                              {"stepCount", o->stepCount},
                              {"dwellTime", o->dwellTime}};
    };
    return kind;
}
