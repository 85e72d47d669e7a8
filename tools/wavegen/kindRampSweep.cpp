#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {
// Packed record fields cannot bind to options; options fill this first.
struct RampSweepOptions {
    double sweepBandwidth = 1e6;
    double sweepTime = 1e-3;
    double duration = 2e-3;
};
}  // namespace

std::unique_ptr<Kind> addRampSweepKind(CLI::App& app, OutputOptions& out) {
    auto kind = std::make_unique<Kind>();
    auto o = std::make_shared<RampSweepOptions>();
    kind->name = "rampsweep";
    kind->description = "linear frequency ramp followed by silence";
    kind->defaultSampleRate = 10e6;
    kind->command = app.add_subcommand("rampsweep", "linear frequency ramp from -B/2 to +B/2, then silence");
    CLI::App* cmd = kind->command;
    cmd->add_option("--sweep-bandwidth", o->sweepBandwidth, "swept bandwidth B in Hz")
        ->check(FinitePositive)
        ->capture_default_str();
    cmd->add_option("--sweep-time", o->sweepTime, "ramp duration in seconds")
        ->check(FinitePositive)
        ->capture_default_str();
    cmd->add_option("--duration", o->duration, "waveform duration in seconds, ramp plus silence")
        ->check(FinitePositive)
        ->capture_default_str();
    addOutputOptions(cmd, out);
    kind->generate = [o](int handle, double sampleRate, int16_t** iq, int* count) {
        const RampSweepParams p{o->sweepBandwidth, o->sweepTime, o->duration};
        return GenerateRampSweepWaveform(handle, &p, iq, count, sampleRate);
    };
    kind->fields = [o] {
        return nlohmann::json{
            {"sweepBandwidth", o->sweepBandwidth}, {"sweepTime", o->sweepTime}, {"duration", o->duration}};
    };
    return kind;
}
