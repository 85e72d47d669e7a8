#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {
// Packed record fields cannot bind to options; options fill this first.
struct DssOptions {
    double bitRate = 1000.0;
    int32_t modType = 1;
    int32_t pnOrder = 7;
    int32_t filterSpan = 6;
    int32_t samplesPerChip = 4;
    double rolloff = 0.35;
    int32_t pnSeed = 1;
    int32_t filterType = 3;
    int bitCount = 10;
};
}  // namespace

std::unique_ptr<Kind> addDssKind(CLI::App& app, OutputOptions& out) {
    auto kind = std::make_unique<Kind>();
    auto o = std::make_shared<DssOptions>();
    kind->name = "dss";
    kind->description = "direct-sequence spread spectrum";
    // samplesPerChip * bitRate * (2^pnOrder - 1) for the defaults: no resampling.
    kind->defaultSampleRate = 508000.0;
    kind->command = app.add_subcommand(
        "dss", "direct-sequence spread spectrum: PN data bits spread by a PN code, BPSK chips, pulse-shaped");
    CLI::App* cmd = kind->command;
    cmd->add_option("--bit-rate", o->bitRate, "data bits per second, before spreading")
        ->check(FinitePositive)
        ->capture_default_str();
    addEnumOption(cmd, "--mod-type", o->modType, {{"bpsk", 1}}, "chip modulation");
    cmd->add_option("--pn-order", o->pnOrder, "spreading code order; each bit becomes 2^order - 1 chips")
        ->check(CLI::Range(4, 32))
        ->capture_default_str();
    cmd->add_option("--filter-span", o->filterSpan, "filter span in chips (ignored by rect and half_sine)")
        ->capture_default_str();
    cmd->add_option("--samples-per-chip", o->samplesPerChip, "samples per chip")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    cmd->add_option("--rolloff", o->rolloff, "roll-off (rcos, rrcos) or bandwidth-time product (gaussian)")
        ->check(Finite)
        ->capture_default_str();
    cmd->add_option("--pn-seed", o->pnSeed, "spreading code start state: its pn-order low bits, MSB first")
        ->capture_default_str();
    addEnumOption(cmd, "--filter-type", o->filterType,
                  {{"rect", 1}, {"rcos", 2}, {"rrcos", 3}, {"gaussian", 4}, {"half_sine", 5}}, "chip pulse shape");
    cmd->add_option("--bit-count", o->bitCount, "data bits in the burst")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    addOutputOptions(cmd, out);
    kind->generate = [o](int handle, double sampleRate, int16_t** iq, int* count) {
        const DSSParams p{o->bitRate,        o->modType, o->pnOrder, o->filterSpan,
                          o->samplesPerChip, o->rolloff, o->pnSeed,  o->filterType};
        return GenerateDssWaveform(handle, &p, o->bitCount, iq, count, sampleRate);
    };
    kind->fields = [o] {
        return nlohmann::json{{"bitRate", o->bitRate},
                              {"modType", o->modType},
                              {"pnOrder", o->pnOrder},
                              {"filterSpan", o->filterSpan},
                              {"samplesPerChip", o->samplesPerChip},
                              {"rolloff", o->rolloff},
                              {"pnSeed", o->pnSeed},
                              {"filterType", o->filterType},
                              {"bitCount", o->bitCount}};
    };
    return kind;
}
