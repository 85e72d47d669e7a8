#include "playCommand.h"

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>

#include "instrumentPresets.h"
#include "messages.h"
#include "optionText.h"
#include "storedWaveform.h"
#include "wrapperGenSignalWave.h"
#ifdef GENSIGNAL_HAVE_SOAPYSDR
#include "soapy/soapyPlayer.h"
#endif

#ifdef GENSIGNAL_HAVE_SOAPYSDR
namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted.store(true); }

// An optional number; empty text on success, else the refusal.
std::string readOptional(const char* option, const std::string& text, std::optional<double>& value, bool positive) {
    if (text.empty()) return {};
    double v = 0;
    std::string why = readNumber(text, v);
    if (why.empty() && !std::isfinite(v)) why = "must be finite";
    if (why.empty() && positive && !(v > 0)) why = "must be above 0";
    if (!why.empty()) return optionRefusal(option, text, why);
    value = v;
    return {};
}

int play(const int16_t* iq, int count, const PlaySettings& settings, const std::string& what) {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    PlayReport report;
    const std::string error = playLoop(iq, count, settings, interrupted, report, [](const std::string& event) {
        std::cerr << "wavegen: play: " << event << "\n";
    });
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (!error.empty()) {
        std::cerr << "wavegen: play: " << settings.device << ": " << error << "\n";
        return 1;
    }
    const int64_t loopSamples = count / 2;
    char line[512];
    std::snprintf(
        line, sizeof line,
        "%s: played %lld samples (%lld loops and %lld samples) at %s samples/s as %s in pieces of %zu%s: "
        "%lld underruns, %lld late packets%s%s\n",
        what.c_str(), static_cast<long long>(report.samples), static_cast<long long>(report.samples / loopSamples),
        static_cast<long long>(report.samples % loopSamples), numberWord(report.deviceRate).c_str(),
        report.format.c_str(), report.mtu, report.interrupted ? ", stopped by an interrupt" : "",
        static_cast<long long>(report.underruns), static_cast<long long>(report.late),
        report.otherErrors ? (", " + std::to_string(report.otherErrors) + " other stream errors").c_str() : "",
        report.statusReported ? "" : " (the device reports no stream status: underruns go unseen)");
    std::fputs(line, stdout);
    return report.underruns + report.late + report.otherErrors > 0 ? 4 : 0;
}

// The device's settings from the options; `rate` is the --sample-rate
// given, if any. Empty text on success, else the refusal.
std::string readPlaySettings(const PlayOptions& o, PlaySettings& settings, std::optional<double>& rate) {
    settings.device = o.device;
    std::optional<double> seconds;
    for (const std::string& refusal :
         {readOptional("--sample-rate", o.sampleRate, rate, true),
          readOptional("--center-frequency", o.centerFrequency, settings.centerFrequency, false),
          readOptional("--gain-db", o.gainDb, settings.gainDb, false),
          readOptional("--rf-bandwidth", o.rfBandwidth, settings.rfBandwidth, true),
          readOptional("--play-seconds", o.playSeconds, seconds, true)})
        if (!refusal.empty()) return refusal;
    if (!o.loops.empty()) {
        double n = 0;
        const std::string why = readWhole(o.loops, 1, 9.2e18, n);
        if (!why.empty()) return optionRefusal("--loops", o.loops, why);
        settings.loops = static_cast<int64_t>(n);
    }
    settings.playSeconds = seconds.value_or(0);
    return {};
}

// A stored int16 waveform, at its own rate or the one given.
int playFile(const PlayOptions& o, const std::optional<double>& rate, PlaySettings& settings) {
    StoredWaveform w;
    std::string error;
    if (!readStoredWaveform(o.file, rate.value_or(0), w, error)) {
        std::cerr << "wavegen: " << error << "\n";
        return 2;
    }
    if (w.floats) {
        std::cerr << "wavegen: play: " << w.dataPath
                  << " holds complex floats; play an int16 file (SigMF ci16_le, .raw, .wav, .wv, .iqbin)\n";
        return 2;
    }
    if (w.rateInFile && rate) {
        std::cerr << "wavegen: --sample-rate " << o.sampleRate << ": " << w.dataPath << " states its own rate, "
                  << numberWord(w.sampleRate) << "\n";
        return 2;
    }
    settings.sampleRate = w.sampleRate;
    return play(w.ci16.data(), static_cast<int>(w.ci16.size()), settings, w.dataPath);
}

// A kind's loop, generated on a handle of its own.
int playKind(const PlayOptions& o, Request& request, const std::optional<double>& rate, PlaySettings& settings) {
    std::string refusal = request.read();
    if (!refusal.empty()) {
        std::cerr << "wavegen: " << refusal << "\n";
        return 2;
    }
    settings.sampleRate = rate.value_or(request.kind().sampleRate);
    const int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) {
        std::cerr << "wavegen: " << lastReason() << "\n";
        return 3;
    }
    // The instrument's lengths first, so that an option given beats its preset.
    refusal = applyInstrument(handle, o.instrument);
    if (refusal.empty()) refusal = applyLoopOptions(handle, o.loop);
    if (!refusal.empty()) {
        std::cerr << "wavegen: " << refusal << "\n";
        GenSignalObjRelease(handle);
        return 2;
    }
    int16_t* iq = nullptr;
    int count = 0;
    const int rc = request.generate(handle, settings.sampleRate, &iq, &count);
    if (rc != 0) {
        std::cerr << "wavegen: " << inOptionTerms(request.kind(), lastReason()) << "\n";
        GenSignalObjRelease(handle);
        return rc == -1 ? 2 : 3;
    }
    const std::string note = loopNote(handle, request.kind());
    if (!note.empty()) std::cerr << "wavegen: note: " << note << "\n";
    const int status = play(iq, count, settings, request.kind().name);
    GenSignalObjRelease(handle);
    return status;
}

}  // namespace
#endif

CLI::App* addPlayCommand(CLI::App& app, PlayOptions& o) {
    CLI::App* command = app.add_subcommand(
        "play",
        "play a kind's loop (wavegen play KIND [options]) or a waveform file through a SoapySDR device, "
        "without a gap, until --loops, --play-seconds or Ctrl-C");
    command->add_option("file", o.file, "a waveform file wavegen reads (SigMF, .raw, .wav, .wv, .iqbin)");
    command->add_option("--device", o.device, "SoapySDR device arguments, such as driver=hackrf or serial=...")
        ->required();
    command->add_option("--sample-rate", o.sampleRate,
                        "samples per second (a kind: default the kind's; a file: a .raw or .iqbin file's rate)");
    command->add_option("--center-frequency", o.centerFrequency, "the device's RF centre in Hz");
    command->add_option("--gain-db", o.gainDb, "the device's overall transmit gain in dB");
    command->add_option("--rf-bandwidth", o.rfBandwidth, "the device's analog filter bandwidth in Hz");
    command->add_option("--loops", o.loops, "stop after this many loops (default: until Ctrl-C)");
    command->add_option("--play-seconds", o.playSeconds, "stop after this many seconds of samples");
    for (const KindTable& kind : allKinds()) {
        o.requests.push_back(std::make_unique<Request>(kind));
        CLI::App* sub = command->add_subcommand(kind.name, kind.summary);
        sub->fallthrough();
        sub->allow_extras();
        o.requests.back()->addOptions(sub);
        addLoopOptions(sub, o.loop, &kind);
        addInstrumentOption(sub, o.instrument);
        o.kinds.push_back(sub);
    }
    command->require_subcommand(0, 1);
    return command;
}

namespace {

// The kind or the file the command names; empty text when it names one of
// them, else the refusal.
std::string chosenSource(const PlayOptions& o, Request*& request) {
    for (const CLI::App* kind : o.kinds)
        if (!kind->remaining().empty())
            return kind->remaining().front() + ": not an option of wavegen play " + kind->get_name();
    for (size_t i = 0; i < o.kinds.size(); ++i)
        if (o.kinds[i]->parsed()) request = o.requests[i].get();
    if (!request && o.file.empty()) return "play: name a kind (wavegen play digital ...) or a waveform file";
    if (request && !o.file.empty()) return "play: a kind or a file, not both";
    return {};
}

}  // namespace

int runPlay(PlayOptions& o) {
    Request* request = nullptr;
    if (std::string why = chosenSource(o, request); !why.empty()) {
        std::cerr << "wavegen: " << why << "\n";
        return 2;
    }
#ifndef GENSIGNAL_HAVE_SOAPYSDR
    std::cerr << "wavegen: play: this wavegen was built without SoapySDR; install libsoapysdr-dev "
                 "(scripts/install-deps.sh) and build again\n";
    return 2;
#else
    PlaySettings settings;
    std::optional<double> rate;
    if (std::string why = readPlaySettings(o, settings, rate); !why.empty()) {
        std::cerr << "wavegen: " << why << "\n";
        return 2;
    }
    return request ? playKind(o, *request, rate, settings) : playFile(o, rate, settings);
#endif
}
