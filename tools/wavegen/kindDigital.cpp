#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {
// Packed record fields cannot bind to options; options fill this first.
// The defaults are wavegen's default waveform.
struct DigitalOptions {
    int32_t modType = QPSK;
    double symbolRate = 1e6;
    double freqDeviation = 250e3;
    int32_t pnOrder = 9;
    int32_t pnSeed = 10;
    int32_t filterType = RRCOS;
    int32_t filterSpan = 6;
    int32_t samplesPerSymbol = 8;
    double rolloff = 0.35;
    int symbolCount = 1000;
};
}  // namespace

std::unique_ptr<Kind> addDigitalKind(CLI::App& app, OutputOptions& out) {
    auto kind = std::make_unique<Kind>();
    auto o = std::make_shared<DigitalOptions>();
    kind->name = "digital";
    kind->description = "digitally modulated PN symbols, pulse shaped, one loopable period";
    kind->defaultSampleRate = 8e6;
    kind->command = app.add_subcommand("digital", "digitally modulated PN symbols (the default waveform)");
    CLI::App* cmd = kind->command;
    addEnumOption(cmd, "--mod-type", o->modType,
                  {{"bpsk", BPSK},     {"dbpsk", DBPSK},     {"qpsk", QPSK},       {"dqpsk", DQPSK},
                   {"oqpsk", OQPSK},   {"pi4_dqpsk", PI4_DQPSK}, {"psk8", PSK8}, {"dpsk8", DPSK8},
                   {"psk16", PSK16},   {"qam16", QAM16},     {"qam64", QAM64},     {"qam256", QAM256},
                   {"qam1024", QAM1024}, {"ask2", ASK2},     {"fsk2", FSK2},       {"fsk4", FSK4},
                   {"fsk8", FSK8},     {"fsk16", FSK16},     {"ask4", ASK4},       {"ask8", ASK8},
                   {"apsk16", APSK16}, {"qam8", QAM8}},
                  "modulation kind");
    cmd->add_option("--symbol-rate", o->symbolRate, "symbols per second")
        ->check(FinitePositive)
        ->capture_default_str();
    cmd->add_option("--freq-deviation", o->freqDeviation, "FSK kinds: frequency of the outermost level in Hz")
        ->check(Finite)
        ->capture_default_str();
    cmd->add_option("--pn-order", o->pnOrder, "PN register length in bits")
        ->check(CLI::Range(4, 32))
        ->capture_default_str();
    cmd->add_option("--pn-seed", o->pnSeed, "PN start state: the low pn-order bits, most significant first")
        ->capture_default_str();
    addEnumOption(cmd, "--filter-type", o->filterType,
                  {{"rect", RECT}, {"rcos", RCOS}, {"rrcos", RRCOS}, {"gaussian", GAUSSIAN}, {"half_sine", HALF_SINE}},
                  "pulse-shaping filter");
    cmd->add_option("--filter-span", o->filterSpan, "filter length in symbols (rect and half_sine use 1)")
        ->capture_default_str();
    cmd->add_option("--samples-per-symbol", o->samplesPerSymbol, "oversampling of the symbol-locked rate")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    cmd->add_option("--rolloff", o->rolloff, "roll-off (rcos, rrcos) or bandwidth-time product (gaussian)")
        ->check(Finite)
        ->capture_default_str();
    cmd->add_option("--symbol-count", o->symbolCount, "symbols in one period")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    addOutputOptions(cmd, out);
    kind->generate = [o](int handle, double sampleRate, int16_t** iq, int* count) {
        const DigitalModParams p{static_cast<DigitalModulType>(o->modType),
                                 o->symbolRate,
                                 o->freqDeviation,
                                 o->pnOrder,
                                 o->pnSeed,
                                 static_cast<FilterType>(o->filterType),
                                 o->filterSpan,
                                 o->samplesPerSymbol,
                                 o->rolloff};
        return GenerateDigitalModWaveform(handle, &p, o->symbolCount, iq, count, sampleRate);
    };
    kind->fields = [o] {
        return nlohmann::json{{"modType", o->modType},
                              {"symbolRate", o->symbolRate},
                              {"freqDeviation", o->freqDeviation},
                              {"pnOrder", o->pnOrder},
                              {"pnSeed", o->pnSeed},
                              {"filterType", o->filterType},
                              {"filterSpan", o->filterSpan},
                              {"samplesPerSymbol", o->samplesPerSymbol},
                              {"rolloff", o->rolloff},
                              {"symbolCount", o->symbolCount}};
    };
    return kind;
}
