#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {
// Packed record fields cannot bind to options; options fill this first.
struct OfdmOptions {
    int32_t fftSize = 64;
    int32_t numSymbols = 100;
    int32_t guardLow = 6;
    int32_t guardHigh = 5;
    int32_t cpPercent = 25;
    bool windowing = false;
    int32_t modType = QPSK;
    bool nullDC = true;
};
}  // namespace

std::unique_ptr<Kind> addOfdmKind(CLI::App& app, OutputOptions& out) {
    auto kind = std::make_unique<Kind>();
    auto o = std::make_shared<OfdmOptions>();
    kind->name = "ofdm";
    kind->description = "OFDM frame";
    kind->defaultSampleRate = 20e6;
    kind->command = app.add_subcommand("ofdm", "OFDM frame of PN data, loopable (subcarrier spacing = rate / fft-size)");
    CLI::App* cmd = kind->command;
    cmd->add_option("--fft-size", o->fftSize, "inverse-FFT size, a power of two")->capture_default_str();
    cmd->add_option("--num-symbols", o->numSymbols, "OFDM symbols in the frame")->capture_default_str();
    cmd->add_option("--guard-low", o->guardLow, "empty subcarriers at the low edge")->capture_default_str();
    cmd->add_option("--guard-high", o->guardHigh, "empty subcarriers at the high edge")->capture_default_str();
    cmd->add_option("--cp-percent", o->cpPercent, "cyclic prefix in percent of the FFT size (0 ... 100)")
        ->capture_default_str();
    cmd->add_option("--windowing", o->windowing, "cross-fade the symbol transitions (true/false)")
        ->capture_default_str();
    addEnumOption(cmd, "--mod-type", o->modType,
                  {{"bpsk", BPSK}, {"qpsk", QPSK}, {"psk8", PSK8}, {"psk16", PSK16}, {"qam16", QAM16},
                   {"qam64", QAM64}, {"qam256", QAM256}},
                  "subcarrier modulation");
    cmd->add_option("--null-dc", o->nullDC, "leave the centre subcarrier empty (true/false)")->capture_default_str();
    addOutputOptions(cmd, out);
    kind->generate = [o](int handle, double sampleRate, int16_t** iq, int* count) {
        OFDMParams p{};
        p.fftSize = o->fftSize;
        p.numSymbols = o->numSymbols;
        p.guardLow = o->guardLow;
        p.guardHigh = o->guardHigh;
        p.cpPercent = o->cpPercent;
        p.windowing = o->windowing ? 1 : 0;
        p.modType = static_cast<DigitalModulType>(o->modType);
        p.nullDC = o->nullDC ? 1 : 0;
        return GenerateOFDMWaveform(handle, &p, iq, count, sampleRate);
    };
    kind->fields = [o] {
        return nlohmann::json{{"fftSize", o->fftSize},     {"numSymbols", o->numSymbols},
                              {"guardLow", o->guardLow},   {"guardHigh", o->guardHigh},
                              {"cpPercent", o->cpPercent}, {"windowing", o->windowing ? 1 : 0},
                              {"modType", o->modType},     {"nullDC", o->nullDC ? 1 : 0}};
    };
    return kind;
}
