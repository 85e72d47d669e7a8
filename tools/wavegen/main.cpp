// wavegen: asks the gensignal library for a waveform and writes it as a SigMF
// recording (ci16_le data plus JSON metadata), raw int16 I/Q, raw complex
// float or a two-channel WAV file.
//
// Exit status: 0 written; 1 a file could not be written; 2 the request was
// refused (by the option parser, the library or the file format); 3 the
// library could not do it (no generator object, out of memory).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <vector>

#include "band.h"
#include "kinds.h"
#include "loopOptions.h"
#include "messages.h"
#include "request.h"
#include "sigmf.h"
#include "writers.h"
#include "wrapperGenSignalWave.h"

namespace {

// Options every subcommand shares.
struct OutputOptions {
    std::string base = "waveform";  // file name without its suffix
    std::string format = "sigmf";
    std::string datetime;  // empty: no core:datetime
    double sampleRate = 0;
    std::vector<CLI::Option*> rateOptions;
    nlohmann::json loop;  // the loop the call made, for the metadata

    bool rateGiven() const {
        return std::any_of(rateOptions.begin(), rateOptions.end(), [](CLI::Option* o) { return o->count() > 0; });
    }
};

void addOutputOptions(CLI::App* command, OutputOptions& out) {
    command->add_option("-o,--output", out.base, "output file name without suffix")->capture_default_str();
    command
        ->add_option("--format", out.format,
                     "sigmf (.sigmf-data and .sigmf-meta), raw (.raw, int16 I/Q), cf32 (.cf32, complex float, "
                     "I/Q divided by 32767) or wav (.wav, 16-bit stereo, I left, Q right)")
        ->check(CLI::IsMember({"sigmf", "raw", "cf32", "wav"}))
        ->capture_default_str();
    out.rateOptions.push_back(command->add_option("--sample-rate", out.sampleRate,
                                                  "sample rate in samples per second (default: the kind's)"));
    command->add_option("--datetime", out.datetime,
                        "sigmf: record core:datetime, \"now\" or an ISO 8601 UTC time such as 2026-06-22T12:00:00Z");
}

// "now" becomes the current UTC time; anything else must already be one.
bool resolveDatetime(std::string& datetime) {
    if (datetime.empty()) return true;
    if (datetime == "now") {
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        gmtime_r(&now, &utc);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
        datetime = text;
        return true;
    }
    // YYYY-MM-DDThh:mm:ss, optional fraction, Z.
    const std::string shape = "dddd-dd-ddTdd:dd:dd";
    size_t i = 0;
    for (; i < shape.size(); ++i)
        if (i >= datetime.size() ||
            (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(datetime[i])) : datetime[i] != shape[i]))
            return false;
    if (i < datetime.size() && datetime[i] == '.') {
        const size_t digits = ++i;
        while (i < datetime.size() && std::isdigit(static_cast<unsigned char>(datetime[i]))) ++i;
        if (i == digits) return false;
    }
    return datetime.substr(i) == "Z";
}

std::string lastLibraryError() {
    char message[512];
    return GenSignalGetLastError(message, sizeof message) > 0 ? message : "no reason given";
}

void printSummary(const Request& request, const int16_t* iq, int count, double sampleRate, const std::string& where) {
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
    std::printf("%s: %d samples, %.6g s at %.10g Hz, peak %.1f, RMS %.1f, crest factor %.2f dB -> %s\n",
                request.kind().name.c_str(), samples, samples / sampleRate, sampleRate, peak, rms, crest,
                where.c_str());
}

// Writes the waveform in the chosen format; returns the exit status.
int writeWaveform(const OutputOptions& out, const Request& request, const int16_t* iq, int count, double sampleRate,
                  std::string& written) {
    bool ok = false;
    if (out.format == "raw") {
        written = out.base + ".raw";
        ok = writeRaw(written, iq, count);
    } else if (out.format == "cf32") {
        written = out.base + ".cf32";
        ok = writeCf32(written, iq, count);
    } else if (out.format == "wav") {
        const std::string refusal = wavRefusal(sampleRate, count);
        if (!refusal.empty()) {
            std::cerr << "wavegen: --sample-rate " << numberWord(sampleRate) << ": " << refusal << "\n";
            return 2;
        }
        written = out.base + ".wav";
        ok = writeWav(written, iq, count, sampleRate);
    } else {
        written = out.base + ".sigmf-data";
        ok = writeRaw(written, iq, count);
        if (ok) {
            Recording recording{sampleRate, count / 2, sha512OfFile(written), occupiedBand(iq, count / 2, sampleRate),
                                out.datetime, out.loop};
            ok = !recording.sha512.empty() && writeJson(out.base + ".sigmf-meta", sigmfMeta(request, recording));
        }
    }
    if (!ok) {
        std::cerr << "wavegen: cannot write " << written << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "wavegen: writes a gensignal waveform as a SigMF recording (ci16_le), raw int16 I/Q, complex float or WAV.\n"
        "Without a subcommand it writes the default waveform."};
    app.require_subcommand(0, 1);
    OutputOptions out;
    addOutputOptions(&app, out);
    bool describe = false;
    app.add_flag("--describe-fields", describe, "print every kind's fields as JSON")->group("");

    std::vector<std::unique_ptr<Request>> requests;
    std::vector<CLI::App*> commands;
    LoopOptions loop;
    addLoopOptions(&app, loop, false);
    for (const KindTable& kind : allKinds()) {
        requests.push_back(std::make_unique<Request>(kind));
        CLI::App* command = app.add_subcommand(kind.name, kind.summary);
        requests.back()->addOptions(command);
        addOutputOptions(command, out);
        addLoopOptions(command, loop, kind.name == "multitone");
        commands.push_back(command);
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (describe) {
        std::cout << describeKinds().dump(2) << "\n";
        return 0;
    }

    const Request* request = requests.front().get();  // the default waveform
    for (size_t i = 0; i < commands.size(); ++i)
        if (commands[i]->parsed()) request = requests[i].get();
    const double sampleRate = out.rateGiven() ? out.sampleRate : request->kind().sampleRate;
    if (!resolveDatetime(out.datetime)) {
        std::cerr << "wavegen: --datetime " << out.datetime
                  << ": must be \"now\" or an ISO 8601 UTC time such as 2026-06-22T12:00:00Z\n";
        return 2;
    }

    const int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) {
        std::cerr << "wavegen: " << lastLibraryError() << "\n";
        return 3;
    }
    const std::string refused = applyLoopOptions(handle, loop);
    if (!refused.empty()) {
        std::cerr << "wavegen: " << refused << "\n";
        GenSignalObjRelease(handle);
        return 2;
    }
    int16_t* iq = nullptr;
    int count = 0;
    const int rc = request->generate(handle, sampleRate, &iq, &count);
    if (rc != 0) {
        std::cerr << "wavegen: " << inOptionTerms(request->kind(), lastLibraryError()) << "\n";
        GenSignalObjRelease(handle);
        return rc == -1 ? 2 : 3;
    }
    const std::string note = loopNote(handle, request->kind());
    if (!note.empty()) std::cerr << "wavegen: note: " << note << "\n";
    out.loop = loopMetadata(handle, loop);
    std::string written;
    const int status = writeWaveform(out, *request, iq, count, sampleRate, written);
    if (status == 0) printSummary(*request, iq, count, sampleRate, written);
    GenSignalObjRelease(handle);
    return status;
}
