#include "measureCommand.h"

#include <cstdio>
#include <iostream>

#include "libraryText.h"
#include "measurement.h"
#include "optionText.h"
#include "request.h"
#include "choices.h"
#include "storedWaveform.h"

CLI::App* addMeasureCommand(CLI::App& app, MeasureOptions& o) {
    CLI::App* command =
        app.add_subcommand("measure", "measure a waveform file: levels, CCDF, occupied band, ACPR, SFDR, seam and EVM");
    command
        ->add_option("file", o.file,
                     "SigMF (.sigmf-meta, .sigmf-data or their base name), .raw int16 I/Q, .cf32, .wav, .wv or .iqbin")
        ->required();
    command->add_flag("--json", o.json, "print one JSON object");
    command->add_option("--sample-rate", o.sampleRate,
                        "samples per second of a .raw, .cf32 or .iqbin file (SigMF, WAV and .wv say their own)");
    command->add_option("--channel-bandwidth", o.channelBandwidth,
                        "ACPR channel width in Hz (default: the record's band, else the occupied band)");
    command->add_option("--channel-spacing", o.channelSpacing,
                        "Hz between the main and each adjacent channel (default: the channel bandwidth)");
    command->add_option("--obw-percent", o.obwPercent, "share of the power in the occupied band (default 99)");
    command->add_option("--channel", o.channel,
                        "ACPR channel preset of a standard: lte1.4, lte3, lte5, lte10, lte15, lte20, nr5, nr10, nr15, "
                        "nr20, nr40, nr50, nr100, wcdma (--channel-bandwidth and --channel-spacing override it)");
    command->add_option("--mod", o.mod,
                        "the capture's modulation (bpsk, qpsk, psk8, psk16, qam8 ... qam1024, ask2/4/8, apsk16), "
                        "for EVM without a gensignal record: decision-directed");
    command->add_option("--symbol-rate", o.symbolRate, "symbols per second of the --mod modulation");
    command->add_option("--rrc", o.rrc, "roll-off of its RRC pulse (a matched filter); without it, rectangular");
    return command;
}

namespace {

// The library names the options' fields; the user gave options.
std::string inOptionTerms(std::string message) {
    static const std::pair<const char*, const char*> names[] = {
        {"GenSignalMeasureOptions.obwPercent = ", "--obw-percent "},
        {"GenSignalMeasureOptions.channelBandwidth = ", "--channel-bandwidth "},
        {"GenSignalMeasureOptions.channelSpacing = ", "--channel-spacing "},
        {"GenSignalMeasureInput.sampleRate = ", "--sample-rate "},
        {"GenSignalModulationDescription.modType = ", "--mod "},
        {"GenSignalModulationDescription.symbolRate = ", "--symbol-rate "},
        {"GenSignalModulationDescription.rolloff = ", "--rrc "}};
    for (const auto& [field, option] : names)
        if (message.rfind(field, 0) == 0) return option + message.substr(std::string(field).size());
    return message;
}

}  // namespace

// The number an option's text holds (0 when not given), or false with the refusal.
bool readOption(const char* option, const std::string& text, double& value) {
    value = 0;
    if (text.empty()) return true;
    const std::string why = readNumber(text, value);
    if (why.empty()) return true;
    std::cerr << "wavegen: " << optionRefusal(option, text, why) << "\n";
    return false;
}

// The measurement's options from the command's, or false with the refusal said.
bool readMeasureOptions(const MeasureOptions& o, double& rate, GenSignalMeasureOptions& chosen) {
    double bandwidth = 0, spacing = 0, percent = 0;
    if (!readOption("--sample-rate", o.sampleRate, rate) ||
        !readOption("--channel-bandwidth", o.channelBandwidth, bandwidth) ||
        !readOption("--channel-spacing", o.channelSpacing, spacing) ||
        !readOption("--obw-percent", o.obwPercent, percent))
        return false;
    // The library takes 0 as its default; a user who says 0 means 0.
    if (!o.obwPercent.empty() && !(percent > 0)) {
        std::cerr << "wavegen: --obw-percent " << o.obwPercent << ": must be above 0 and at most 100\n";
        return false;
    }
    if (!o.channel.empty()) {
        double presetBandwidth = 0, presetSpacing = 0;
        if (GenSignalMeasureChannelPreset(o.channel.c_str(), &presetBandwidth, &presetSpacing) != 0) {
            char message[512];
            GenSignalGetLastError(message, sizeof message);
            std::cerr << "wavegen: --channel " << o.channel << ": "
                      << std::string(message).substr(std::string("channel preset ").size() + o.channel.size() + 2)
                      << "\n";
            return false;
        }
        if (o.channelBandwidth.empty()) bandwidth = presetBandwidth;
        if (o.channelSpacing.empty()) spacing = presetSpacing;
    }
    chosen = {percent, bandwidth, spacing};
    return true;
}

// The described modulation, or false with the refusal said; `described`
// false when none was given.
bool readDescription(const MeasureOptions& o, GenSignalModulationDescription& d, bool& described) {
    described = !o.mod.empty() || !o.symbolRate.empty() || !o.rrc.empty();
    if (!described) return true;
    if (o.mod.empty() || o.symbolRate.empty()) {
        std::cerr << "wavegen: --mod and --symbol-rate describe a modulation together\n";
        return false;
    }
    d = {0, o.rrc.empty() ? RECT : RRCOS, 0, 0};
    for (const auto& [name, number] : modulationNames())
        if (name == o.mod) d.modType = number;
    if (d.modType == 0) {
        std::cerr << "wavegen: --mod " << o.mod << ": not a modulation (wavegen digital --help lists them)\n";
        return false;
    }
    return readOption("--symbol-rate", o.symbolRate, d.symbolRate) && readOption("--rrc", o.rrc, d.rolloff);
}

int runMeasure(const MeasureOptions& o) {
    double rate = 0;
    GenSignalMeasureOptions chosen{};
    GenSignalModulationDescription description{};
    bool described = false;
    if (!readMeasureOptions(o, rate, chosen) || !readDescription(o, description, described)) return 2;
    const double percent = chosen.obwPercent;
    StoredWaveform w;
    std::string error;
    if (!readStoredWaveform(o.file, rate, w, error)) {
        std::cerr << "wavegen: " << error << "\n";
        return 2;
    }
    if (w.rateInFile && !o.sampleRate.empty()) {
        std::cerr << "wavegen: --sample-rate " << o.sampleRate << ": " << w.dataPath << " states its own rate, "
                  << numberWord(w.sampleRate) << "\n";
        return 2;
    }
    MeasureCall call;
    call.samples = w.samples();
    call.valueCount = w.values();
    call.format = w.floats ? GENSIGNAL_FORMAT_CF32 : GENSIGNAL_FORMAT_CI16;
    call.sampleRate = w.sampleRate;
    if (w.kind) {
        call.recordKind = recordKindOf(*w.kind);
        call.record = w.record.data();
        call.argument = w.argument;
    }
    call.options = chosen;
    call.description = described ? &description : nullptr;
    Measured measured;
    const GenSignalMeasurement& m = measured.m;
    if (!measureWith(call, measured, error)) {
        const std::string said = inOptionTerms(error);
        std::cerr << "wavegen: " << (said == error ? w.dataPath + ": " : "") << said << "\n";
        return error.rfind("out of memory", 0) == 0 ? 3 : 2;
    }
    if (o.json) {
        const std::string text = documentText(measuredJson(measured));
        if (text.empty()) return 1;  // the reason is said
        std::cout << text << "\n";
        return 0;
    }
    const std::string kind = w.kind ? " (" + w.kind->name + ")" : "";
    std::printf("%s: %lld samples at %s samples/s%s\n", w.dataPath.c_str(), static_cast<long long>(m.samples),
                numberWord(m.sampleRate).c_str(), kind.c_str());
    std::fputs(measuredTable(measured, percent > 0 ? percent : 99).c_str(), stdout);
    return 0;
}
