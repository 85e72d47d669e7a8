#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {
// Packed record fields cannot bind to options; options fill this first.
struct FmOptions {
    double modFrequency = 1000.0;
    double freqDeviation = 5000.0;
    int32_t modShape = 1;
};
}  // namespace

std::unique_ptr<Kind> addFmKind(CLI::App& app, OutputOptions& out) {
    auto kind = std::make_unique<Kind>();
    auto o = std::make_shared<FmOptions>();
    kind->name = "fm";
    kind->description = "FM carrier at complex baseband";
    kind->defaultSampleRate = 48000.0;
    kind->command = app.add_subcommand("fm", "FM carrier at complex baseband, a whole number of modulation periods");
    CLI::App* cmd = kind->command;
    cmd->add_option("--mod-frequency", o->modFrequency, "modulating frequency in Hz")
        ->check(FinitePositive)
        ->capture_default_str();
    cmd->add_option("--freq-deviation", o->freqDeviation, "peak frequency deviation in Hz (negative inverts)")
        ->check(Finite)
        ->capture_default_str();
    addEnumOption(cmd, "--mod-shape", o->modShape, {{"sine", 1}, {"square", 2}, {"triangle", 3}, {"sawtooth", 4}},
                  "modulating waveform");
    addOutputOptions(cmd, out);
    kind->generate = [o](int handle, double sampleRate, int16_t** iq, int* count) {
        const FMModParams p{o->modFrequency, o->freqDeviation, o->modShape};
        return GenerateFmWaveform(handle, &p, iq, count, sampleRate);
    };
    kind->fields = [o] {
        return nlohmann::json{
            {"modFrequency", o->modFrequency}, {"freqDeviation", o->freqDeviation}, {"modShape", o->modShape}};
    };
    return kind;
}
