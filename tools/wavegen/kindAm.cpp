#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {
// Packed record fields cannot bind to options; options fill this first.
struct AmOptions {
    double modFrequency = 1000.0;
    double modDepth = 50.0;
    int32_t modShape = 1;
};
}  // namespace

std::unique_ptr<Kind> addAmKind(CLI::App& app, OutputOptions& out) {
    auto kind = std::make_unique<Kind>();
    auto o = std::make_shared<AmOptions>();
    kind->name = "am";
    kind->description = "AM envelope";
    kind->defaultSampleRate = 48000.0;
    kind->command = app.add_subcommand("am", "AM envelope (I only), a whole number of modulation periods");
    CLI::App* cmd = kind->command;
    cmd->add_option("--mod-frequency", o->modFrequency, "modulating frequency in Hz")
        ->check(FinitePositive)
        ->capture_default_str();
    cmd->add_option("--mod-depth", o->modDepth, "modulation depth in percent (above 100 over-modulates)")
        ->check(FinitePositive)
        ->capture_default_str();
    addEnumOption(cmd, "--mod-shape", o->modShape, {{"sine", 1}, {"square", 2}, {"triangle", 3}, {"sawtooth", 4}},
                  "modulating waveform");
    addOutputOptions(cmd, out);
    kind->generate = [o](int handle, double sampleRate, int16_t** iq, int* count) {
        const AMModParams p{o->modFrequency, o->modDepth, o->modShape};
        return GenerateAmWaveform(handle, &p, iq, count, sampleRate);
    };
    kind->fields = [o] {
        return nlohmann::json{{"modFrequency", o->modFrequency}, {"modDepth", o->modDepth}, {"modShape", o->modShape}};
    };
    return kind;
}
