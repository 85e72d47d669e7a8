// wavegen: asks the gensignal library for a waveform and writes it as a SigMF
// recording (ci16_le data plus JSON metadata), raw int16 I/Q, raw complex
// float or a two-channel WAV file, to files or to standard output;
// `wavegen measure FILE` measures one, `wavegen impair FILE` puts one
// through a channel and `wavegen play` plays one through a SoapySDR device.
//
// Exit status: 0 written; 1 a file could not be written (play: the device
// failed); 2 the request was refused (by the option parser, the library or
// the file format); 3 the library could not do it (no generator object, out
// of memory); 4 play: played, with underruns or late packets.
#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include "commandOrder.h"
#include "completion.h"
#include "instrumentPresets.h"
#include "impairCommand.h"
#include "kinds.h"
#include "loopOptions.h"
#include "measureCommand.h"
#include "measurement.h"
#include "messages.h"
#include "outputNames.h"
#include "outputOptions.h"
#include "playCommand.h"
#include "recordingFiles.h"
#include "request.h"
#include "sceneCommand.h"
#include "sigmf.h"
#include "sink.h"
#include "writers.h"
#include "libraryText.h"
#include "wrapperGenSignalWave.h"

namespace {

std::string versionText() {
    char algorithm[32] = {};
    GetALGVersion(algorithm);
    return "wavegen " GENSIGNAL_VERSION "\nalgorithm version " + std::string(algorithm);
}

// Says why on the standard error stream; returns the exit status.
int refuse(const std::string& why, int status) {
    std::cerr << "wavegen: " << why << "\n";
    return status;
}

// The first argument the parser did not take, in the shape of every refusal.
std::string unexpectedArgument(const std::string& argument, const CLI::App* command) {
    if (command->get_parent() == nullptr && argument.rfind("-", 0) != 0) {
        std::string kinds;
        for (const KindTable& kind : allKinds()) kinds += (kinds.empty() ? "" : ", ") + kind.name;
        return argument + ": expected one of the kinds " + kinds + " (wavegen --help lists them)";
    }
    const std::string where = command->get_parent() ? "wavegen " + command->get_name() : "wavegen";
    return argument + ": not an option of " + where + " (" + where + " --help lists them)";
}

// The library's measurements of what it made, or none (with a note why):
// a waveform is still written when it cannot be measured.
bool measureMade(int handle, const Request& request, const int16_t* iq, int count, double sampleRate, Measured& m) {
    std::vector<unsigned char> record = request.record();
    int argument = request.argument();
    applySnap(handle, request.kind(), record, argument);  // against what was made, not what was asked
    MeasureCall call;
    call.samples = iq;
    call.valueCount = count;
    call.sampleRate = sampleRate;
    call.recordKind = recordKindOf(request.kind());
    call.record = record.data();
    call.argument = argument;
    std::string error;
    if (measureWith(call, m, error)) return true;
    std::cerr << "wavegen: note: not measured: " << error << "\n";
    return false;
}

void printSummary(std::FILE* to, const Request& request, const int16_t* iq, int count, double sampleRate,
                  int64_t repeat, const GenSignalMeasurement* m, const std::string& snapped, const std::string& where) {
    const int samples = count / 2;
    double peak2 = 0, sum2 = 0;
    for (int i = 0; i < samples; ++i) {
        const double p = double(iq[2 * i]) * iq[2 * i] + double(iq[2 * i + 1]) * iq[2 * i + 1];
        peak2 = std::max(peak2, p);
        sum2 += p;
    }
    const double peak = std::sqrt(peak2);
    const double rms = samples > 0 ? std::sqrt(sum2 / samples) : 0.0;
    const double crest = rms > 0 ? 20 * std::log10(peak / rms) : 0.0;
    std::string measured;
    if (m && std::isfinite(m->ccdfDb[3])) {
        char text[160];
        std::snprintf(text, sizeof text, ", PAPR %.2f dB at 1e-4, 99 %% band %s to %s", m->ccdfDb[3],
                      hertzText(m->obwLowerHz).c_str(), hertzText(m->obwUpperHz).c_str());
        measured = text;
    }
    const std::string times = repeat > 1 ? ", written " + std::to_string(repeat) + " times" : "";
    const std::string snap = snapped.empty() ? "" : ", " + snapped;
    std::fprintf(to, "%s: %d samples, %.6g s at %.10g Hz, peak %.1f, RMS %.1f, crest factor %.2f dB%s%s%s -> %s\n",
                 request.kind().name.c_str(), samples, samples / sampleRate, sampleRate, peak, rms, crest,
                 measured.c_str(), snap.c_str(), times.c_str(), where.c_str());
}

// The SigMF metadata of what is about to be written.
std::string waveformMeta(const Output& out, const Request& request, const int16_t* iq, int count,
                         const Measured* measured, const nlohmann::json& loop, const std::vector<MarkerLine>& markers) {
    const GenSignalMeasurement* m = measured ? &measured->m : nullptr;
    Recording recording;
    recording.sampleRate = out.sampleRate;
    recording.samples = count / 2;
    recording.repeat = out.repeat;
    recording.sha512 = sha512OfInt16(iq, count, out.repeat);
    // A silent or unmeasured waveform has no band: 0 to 0.
    if (m && std::isfinite(m->obwHz)) {
        recording.lowerEdge = m->obwLowerHz;
        recording.upperEdge = m->obwUpperHz;
    }
    recording.measured = measured ? measuredJson(*measured) : nlohmann::json(nullptr);
    recording.datetime = out.datetime;
    recording.centerFrequency = out.centerFrequency;
    recording.loop = loop;
    if (!markers.empty()) recording.markers = markersJson(markers);
    return sigmfText(waveformRecording(request, recording));
}

// Writes the waveform as asked; returns the exit status and names where it went.
int writeWaveform(const Output& out, const Request& request, const int16_t* iq, int count, const Measured* m,
                  const nlohmann::json& loop, const std::vector<MarkerLine>& markers, std::string& written) {
    return writeRecording(
        out, iq, count, [&] { return waveformMeta(out, request, iq, count, m, loop, markers); }, "--sample-rate",
        written, request.description(), markers);
}

// A generator object for one run, released with it.
struct Handle {
    int id = GenSignalObjCreatSelfEncode();
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (id >= 0) GenSignalObjRelease(id);
    }
};

// The instrument's lengths first, so that an option given beats its preset.
std::string applySettings(int handle, const LoopOptions& loop, const std::string& instrument) {
    const std::string refused = applyInstrument(handle, instrument);
    return refused.empty() ? applyLoopOptions(handle, loop) : refused;
}

// Makes the request's waveform and writes it as asked; the exit status.
int generateAndWrite(Request& request, const OutputOptions& options, const LoopOptions& loop,
                     const std::string& instrument) {
    std::string refusal = request.read();
    Output out;
    if (refusal.empty()) refusal = readOutput(options, request.kind().sampleRate, out);
    if (!refusal.empty()) return refuse(refusal, 2);
    const Handle handle;
    if (handle.id < 0) return refuse(lastReason(), 3);
    refusal = applySettings(handle.id, loop, instrument);
    if (!refusal.empty()) return refuse(refusal, 2);
    int16_t* iq = nullptr;
    int count = 0;
    const int rc = request.generate(handle.id, out.sampleRate, &iq, &count);
    if (rc != 0) return refuse(inOptionTerms(request.kind(), lastReason()), rc == -1 ? 2 : 3);
    const std::string note = loopNote(handle.id, request.kind());
    if (!note.empty()) std::cerr << "wavegen: note: " << note << "\n";
    std::vector<MarkerLine> markers;
    refusal = markerLines(out.markers, loopPeriods(handle.id), markers);
    if (!refusal.empty()) return refuse(refusal, 2);
    Measured m{};
    const bool measured = measureMade(handle.id, request, iq, count, out.sampleRate, m);
    std::string written;
    const int status = writeWaveform(out, request, iq, count, measured ? &m : nullptr,
                                     loopMetadata(handle.id, request.kind()), markers, written);
    if (status == 0)
        printSummary(out.toStandardOutput() ? stderr : stdout, request, iq, count, out.sampleRate, out.repeat,
                     measured ? &m.m : nullptr, snappedWords(handle.id), written);
    return status;
}

// Everything the command line holds, bound to its options (not to be copied).
struct CommandLine {
    CLI::App app{
        "wavegen: writes a gensignal waveform as a SigMF recording (ci16_le), raw int16 I/Q, complex float or WAV.\n"
        "Without a subcommand it writes the default waveform (digital).\n"
        "Refusals name the option and the rule; exit status 0 written, 1 a file could not be written, 2 refused, "
        "3 the library could not carry it out."};
    OutputOptions options;
    LoopOptions loop;
    std::string instrument;
    bool describe = false, completion = false;
    MeasureOptions measureOptions;
    PlayOptions playOptions;
    ImpairOptions impairOptions;
    CLI::App *measure = nullptr, *play = nullptr, *impair = nullptr;
    std::vector<std::unique_ptr<Request>> requests;
    std::vector<CLI::App*> commands;
};

void buildCommandLine(CommandLine& line) {
    CLI::App& app = line.app;
    app.require_subcommand(0, 1);
    app.allow_extras();
    app.set_version_flag("--version", versionText(), "print wavegen's version and the library's algorithm version");
    app.set_help_all_flag("--help-all", "print the help of every kind");
    addOutputOptions(&app, line.options);
    addLoopOptions(&app, line.loop, nullptr);
    addInstrumentOption(&app, line.instrument);
    app.add_flag("--describe-fields", line.describe,
                 "print every kind's fields as JSON (names, types, defaults, choices)");
    app.add_flag("--bash-completion", line.completion, "print the bash completion script");
    line.measure = addMeasureCommand(app, line.measureOptions);
    line.play = addPlayCommand(app, line.playOptions);
    line.impair = addImpairCommand(app, line.impairOptions);
    registerSceneCommand(app);
    for (const KindTable& kind : allKinds()) {
        line.requests.push_back(std::make_unique<Request>(kind));
        CLI::App* command = app.add_subcommand(kind.name, kind.summary);
        command->allow_extras();
        line.requests.back()->addOptions(command);
        addOutputOptions(command, line.options);
        addLoopOptions(command, line.loop, &kind);
        addInstrumentOption(command, line.instrument);
        line.commands.push_back(command);
    }
}

// The first argument no option took, as a refusal; empty when there is none.
std::string leftOver(const CommandLine& line) {
    for (const CLI::App* command : line.commands)
        if (!command->remaining().empty()) return unexpectedArgument(command->remaining().front(), command);
    if (!line.app.remaining().empty()) return unexpectedArgument(line.app.remaining().front(), &line.app);
    return {};
}

// The kind's request named on the command line, the default waveform's without one.
Request& chosenRequest(const CommandLine& line) {
    for (size_t i = 0; i < line.commands.size(); ++i)
        if (line.commands[i]->parsed()) return *line.requests[i];
    return *line.requests.front();
}

}  // namespace

int main(int argc, char** argv) {
    // Beyond a file size limit (ulimit -f) a write then fails with EFBIG and
    // the temporary file is removed, instead of the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);
    CommandLine line;
    buildCommandLine(line);
    try {
        line.app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return line.app.exit(e);
    } catch (const CLI::ParseError& e) {
        return refuse(e.what(), 2);
    }
    const std::string extra = leftOver(line);
    if (!extra.empty()) return refuse(extra, 2);
    if (line.describe) {
        std::cout << describeKinds().dump(2) << "\n";
        return 0;
    }
    if (line.completion) {
        std::cout << bashCompletion();
        return 0;
    }
    for (const CLI::App* own : {line.measure, line.play, line.impair})
        if (own->parsed())
            if (const std::string before = optionBeforeCommand(line.app, *own); !before.empty())
                return refuse(before, 2);
    if (line.measure->parsed()) return runMeasure(line.measureOptions);
    if (line.play->parsed()) return runPlay(line.playOptions);
    if (line.impair->parsed()) return runImpair(line.impairOptions);
    return generateAndWrite(chosenRequest(line), line.options, line.loop, line.instrument);
}
