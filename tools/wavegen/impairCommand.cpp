#include "impairCommand.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <vector>

#include "measurement.h"
#include "messages.h"
#include "optionText.h"
#include "outputNames.h"
#include "libraryText.h"
#include "markers.h"
#include "recordingFiles.h"
#include "request.h"
#include "sigmf.h"
#include "sink.h"
#include "storedWaveform.h"
#include "writers.h"
#include "wrapperGenSignalWave.h"

namespace {

// The recording's gensignal record (its kind and fields) carried over, so
// that the impaired recording still says what made it.
nlohmann::json impairedRecording(const StoredWaveform& source, const Output& out, const int16_t* iq, int count,
                                 const Measured* measured, const nlohmann::json& channel, const nlohmann::json& loop) {
    const GenSignalMeasurement* m = measured ? &measured->m : nullptr;
    std::string description = "impaired " + source.dataPath;
    if (source.kind && source.global.is_object()) {
        const auto said = source.global.find("core:description");
        if (said != source.global.end() && said->is_string()) description = "impaired " + said->get<std::string>();
    }
    nlohmann::json r = recordingFields(out.sampleRate, sha512OfInt16(iq, count, out.repeat), description, count / 2,
                                       out.repeat, out.centerFrequency, out.datetime);
    nlohmann::json global = nlohmann::json::object();
    if (source.kind && source.global.is_object()) {
        global["gensignal:kind"] = source.kind->name;
        for (const Field& f : source.kind->fields) {
            const auto value = source.global.find("gensignal:" + f.name);
            if (value != source.global.end()) global["gensignal:" + f.name] = *value;
        }
    }
    global["gensignal:measured"] = measured ? measuredJson(*measured) : nlohmann::json(nullptr);
    global["gensignal:channel"] = channel;
    global["gensignal:loop"] = loop;
    r["global"] = global;
    double lower = 0, upper = 0;
    if (m && std::isfinite(m->obwHz)) {
        lower = m->obwLowerHz;
        upper = m->obwUpperHz;
    }
    r["annotations"] = nlohmann::json::array({{
        {"core:sample_start", 0},
        {"core:sample_count", static_cast<int64_t>(count / 2) * out.repeat},
        {"core:freq_lower_edge", lower},
        {"core:freq_upper_edge", upper},
        {"core:label", source.kind ? source.kind->name + " impaired" : "impaired"},
    }});
    return r;
}

int write(const Output& out, const StoredWaveform& source, const int16_t* iq, int count, const Measured* m,
          const nlohmann::json& channel, const nlohmann::json& loop, std::string& written) {
    // The file states no natural periods: start markers only.
    std::vector<MarkerLine> markers;
    if (std::string why = markerLines(out.markers, LoopPeriods{count / 2, 0, 0, false}, markers); !why.empty()) {
        std::cerr << "wavegen: " << why << "\n";
        return 2;
    }
    const auto meta = [&] {
        nlohmann::json recording = impairedRecording(source, out, iq, count, m, channel, loop);
        if (!markers.empty()) recording["global"]["gensignal:markers"] = markersJson(markers);
        return sigmfText(recording);
    };
    const std::string comment = source.kind ? source.kind->name + " impaired" : "impaired";
    return writeRecording(out, iq, count, meta, "sample rate", written, comment, markers);
}

}  // namespace

CLI::App* addImpairCommand(CLI::App& app, ImpairOptions& o) {
    CLI::App* command = app.add_subcommand(
        "impair", "put a waveform file through a channel: amplifier, fading, offsets, phase noise, noise, I/Q, DC");
    command
        ->add_option("file", o.file,
                     "SigMF (.sigmf-meta, .sigmf-data or their base name), .raw int16 I/Q, .cf32 or .wav")
        ->required();
    addOutputOptions(command, o.output);
    addLoopOptions(command, o.loop, nullptr);
    addChannelOptions(command, o.channel);
    return command;
}

namespace {

// What impair reads before it asks the library: the channel, the source
// file and where the result goes.
struct ImpairInput {
    GenSignalChannel channel{};
    nlohmann::json settings;
    StoredWaveform source;
    Output out;
};

// Empty when the options and the file are read, else the refusal.
std::string readImpairInput(const ImpairOptions& o, ImpairInput& in) {
    if (std::string why = readChannelOptions(o.channel, in.channel, in.settings); !why.empty()) return why;
    double givenRate = 0;
    if (!o.output.sampleRate.empty()) {
        const std::string why = readNumber(o.output.sampleRate, givenRate);
        if (!why.empty()) return "--sample-rate " + o.output.sampleRate + ": " + why;
    }
    std::string error;
    if (!readStoredWaveform(o.file, givenRate, in.source, error)) return error;
    if (in.source.rateInFile && !o.output.sampleRate.empty())
        return "--sample-rate " + o.output.sampleRate + ": " + in.source.dataPath + " states its own rate, " +
               numberWord(in.source.sampleRate);
    OutputOptions outputOptions = o.output;
    outputOptions.sampleRate.clear();
    if (outputOptions.output == "waveform") outputOptions.output = "impaired";
    return readOutput(outputOptions, in.source.sampleRate, in.out);
}

// The source through the channel on `handle`: 0, or the exit status with
// the reason written in the channel's terms.
int impaired(int handle, const ImpairInput& in, int16_t*& iq, int& count, GenSignalChannelRealised& realised) {
    const StoredWaveform& w = in.source;
    GenSignalMeasureInput input{};
    input.samples = w.samples();
    input.valueCount = w.values();
    input.format = w.floats ? GENSIGNAL_FORMAT_CF32 : GENSIGNAL_FORMAT_CI16;
    input.sampleRate = w.sampleRate;
    if (w.kind) {
        input.recordKind = recordKindOf(*w.kind);
        input.record = w.record.data();
        input.argument = w.argument;
    }
    const int rc = GenSignalApplyChannel(handle, &in.channel, &input, nullptr, &iq, &count, &realised);
    if (rc != 0) {
        const std::string reason = lastReason();
        const std::string said = inChannelTerms(reason, in.channel);
        std::cerr << "wavegen: " << (said == reason && reason.rfind("GenSignal", 0) != 0 ? w.dataPath + ": " : "")
                  << said << "\n";
        return rc == -1 ? 2 : 3;
    }
    if (realised.noteLength > 0) std::cerr << "wavegen: note: " << inChannelTerms(realised.note, in.channel) << "\n";
    return 0;
}

// "impair: N samples at R Hz, SNR ... -> file".
void sayImpaired(const Output& out, int count, double sampleRate, const GenSignalChannelRealised& realised,
                 const std::string& written) {
    std::FILE* to = out.toStandardOutput() ? stderr : stdout;
    std::string snr;
    if (std::isfinite(realised.snrDb)) {
        char text[96];
        std::snprintf(text, sizeof text, ", SNR %.2f dB (%.2f dB in its band)", realised.snrDb, realised.snrInBandDb);
        snr = text;
    }
    std::fprintf(to, "impair: %d samples at %.10g Hz%s -> %s\n", count / 2, sampleRate, snr.c_str(), written.c_str());
}

// The impaired samples measured (a failure is a note) and written with
// the channel's settings and what it realised.
int measureAndWrite(int handle, const ImpairInput& in, const int16_t* iq, int count,
                    const GenSignalChannelRealised& realised) {
    MeasureCall call;
    call.samples = iq;
    call.valueCount = count;
    call.sampleRate = in.source.sampleRate;
    Measured m{};
    std::string measureError;
    const bool measured = measureWith(call, m, measureError);
    if (!measured) std::cerr << "wavegen: note: not measured: " << measureError << "\n";
    const nlohmann::json record = {{"settings", in.settings}, {"realised", channelRealisedJson(realised)}};
    const nlohmann::json loop = loopSettings(handle, nullptr);
    std::string written;
    const int status = write(in.out, in.source, iq, count, measured ? &m : nullptr, record, loop, written);
    if (status == 0) sayImpaired(in.out, count, in.source.sampleRate, realised, written);
    return status;
}

}  // namespace

int runImpair(const ImpairOptions& o) {
    ImpairInput in;
    if (std::string why = readImpairInput(o, in); !why.empty()) {
        std::cerr << "wavegen: " << why << "\n";
        return 2;
    }
    const int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) {
        std::cerr << "wavegen: " << lastReason() << "\n";
        return 3;
    }
    int status = 0;
    if (std::string why = applyLoopOptions(handle, o.loop); !why.empty()) {
        std::cerr << "wavegen: " << why << "\n";
        status = 2;
    }
    int16_t* iq = nullptr;
    int count = 0;
    GenSignalChannelRealised realised{};
    if (status == 0) status = impaired(handle, in, iq, count, realised);
    if (status == 0) status = measureAndWrite(handle, in, iq, count, realised);
    GenSignalObjRelease(handle);
    return status;
}
