#include <cstring>

#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {
// Packed record fields cannot bind to options; options fill this first.
struct MultitoneOptions {
    int32_t toneCount = 4;
    double toneSpacing = 1000.0;
};
}  // namespace

std::unique_ptr<Kind> addMultitoneKind(CLI::App& app, OutputOptions& out) {
    auto kind = std::make_unique<Kind>();
    auto o = std::make_shared<MultitoneOptions>();
    kind->name = "multitone";
    kind->description = "Multitone: equal-amplitude tones symmetric about 0 Hz, one common period";
    kind->defaultSampleRate = 1e6;
    kind->command = app.add_subcommand("multitone", "equal-amplitude tones spaced evenly about 0 Hz, one common period");
    CLI::App* cmd = kind->command;
    cmd->add_option("--tone-count", o->toneCount, "number of tones (at least 2)")
        ->check(CLI::Range(2, INT32_MAX))
        ->capture_default_str();
    cmd->add_option("--tone-spacing", o->toneSpacing, "spacing between neighbouring tones in Hz")
        ->check(FinitePositive)
        ->capture_default_str();
    addOutputOptions(cmd, out);
    kind->generate = [o](int handle, double sampleRate, int16_t** iq, int* count) {
        MultitoneParams p;
        std::memset(&p, 0, sizeof p);
        p.toneCount = o->toneCount;
        p.toneSpacing = o->toneSpacing;
        return GenerateMultitoneWaveform(handle, &p, iq, count, sampleRate);
    };
    kind->fields = [o] {
        return nlohmann::json{{"reserved", nlohmann::json::array({0, 0, 0, 0, 0, 0, 0, 0})},
                              {"toneCount", o->toneCount},
                              {"toneSpacing", o->toneSpacing}};
    };
    return kind;
}
