#include "outputOptions.h"

#include <cctype>
#include <cmath>
#include <ctime>

#include "optionText.h"

namespace {

// SigMF bounds core:frequency and the annotation edges to this.
constexpr double kFrequencyLimit = 1e12;

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

}  // namespace

void addOutputOptions(CLI::App* command, OutputOptions& options) {
    command
        ->add_option("-o,--output", options.output,
                     "output file name; the format's suffix is added unless it ends in it; - writes the samples "
                     "(raw, cf32 or wav) to standard output and the summary to standard error")
        ->capture_default_str();
    command
        ->add_option("--format", options.format,
                     "sigmf (.sigmf-data and .sigmf-meta), raw (.raw, int16 I/Q), cf32 (.cf32, complex float, "
                     "I/Q divided by --cf32-scale), wav (.wav, 16-bit stereo, I left, Q right), wv (.wv, the tagged "
                     "instrument file) or iqbin (.iqbin, big-endian int16 I/Q, markers in NAME.marker)")
        ->type_name("FORMAT")
        ->default_str("sigmf");
    command->add_option("--sample-rate", options.sampleRate, "sample rate in samples per second (default: the kind's)")
        ->type_name("NUMBER");
    command
        ->add_option("--repeat", options.repeat,
                     "write the buffer this many times over (it loops); SigMF records it as gensignal:repeat")
        ->type_name("WHOLE")
        ->default_str("1");
    command
        ->add_option("--center-frequency", options.centerFrequency,
                     "sigmf: the RF centre in Hz, recorded as captures[0].core:frequency; the annotation's band "
                     "edges are then at RF")
        ->type_name("NUMBER");
    command
        ->add_option("--cf32-scale", options.cf32Scale,
                     "cf32: divide the int16 values by 32767 (full scale reads 1) or by 32768 (as SigMF readers "
                     "scale ci16_le)")
        ->type_name("32767|32768")
        ->default_str("32767");
    command->add_option("--datetime", options.datetime,
                        "sigmf: record core:datetime, \"now\" or an ISO 8601 UTC time such as 2026-06-22T12:00:00Z; "
                        "wv: the DATE tag");
    command
        ->add_option("--marker", options.markers,
                     "marker N (1-4) of the loop, for wv, iqbin and sigmf: N:start (high on the first sample), "
                     "N:start:M (the first M samples), N:period:K (the first sample of every K-th natural period) or, "
                     "for wavegen scene, N:bursts (high while any burst is on)")
        ->type_name("N:SPEC")
        ->expected(1)
        ->take_all();
}

std::string readOutput(const OutputOptions& options, double defaultRate, Output& out) {
    out.name = options.output;
    out.format = options.format.empty() ? (out.toStandardOutput() ? "raw" : "sigmf") : options.format;
    if (out.format != "sigmf" && out.format != "raw" && out.format != "cf32" && out.format != "wav" &&
        out.format != "wv" && out.format != "iqbin")
        return optionRefusal("--format", options.format, "expected sigmf, raw, cf32, wav, wv or iqbin");
    if (out.toStandardOutput() && out.format == "sigmf")
        return optionRefusal("--format", options.format,
                             "a SigMF recording is two files; -o - writes raw, cf32, wav, wv or iqbin");
    if (out.name.empty()) return optionRefusal("--output", "\"\"", "expected a file name, or - for standard output");

    out.sampleRate = defaultRate;
    if (!options.sampleRate.empty()) {
        const std::string why = readNumber(options.sampleRate, out.sampleRate);
        if (!why.empty()) return optionRefusal("--sample-rate", options.sampleRate, why);
    }
    if (!options.repeat.empty()) {
        double repeat = 1;
        const std::string why = readWhole(options.repeat, 1, 2147483647.0, repeat);
        if (!why.empty()) return optionRefusal("--repeat", options.repeat, why);
        out.repeat = static_cast<int64_t>(repeat);
    }
    if (!options.centerFrequency.empty()) {
        double frequency = 0;
        std::string why = readNumber(options.centerFrequency, frequency);
        if (why.empty() && !(std::fabs(frequency) <= kFrequencyLimit)) why = "must be from -1e12 to 1e12 Hz";
        if (!why.empty()) return optionRefusal("--center-frequency", options.centerFrequency, why);
        out.centerFrequency = frequency;
    }
    if (!options.cf32Scale.empty()) {
        double scale = 0;
        if (!readWhole(options.cf32Scale, 32767, 32768, scale).empty())
            return optionRefusal("--cf32-scale", options.cf32Scale, "expected 32767 or 32768");
        out.cf32Scale = scale;
    }
    for (const std::string& text : options.markers) {
        MarkerSpec spec;
        const std::string why = parseMarker(text, spec);
        if (!why.empty()) return why;
        out.markers.push_back(spec);
    }
    if (!out.markers.empty() && out.format != "sigmf" && out.format != "wv" && out.format != "iqbin")
        return optionRefusal("--marker", out.markers.front().text,
                             "a " + out.format + " file holds no markers; write wv, iqbin or sigmf");
    out.datetime = options.datetime;
    if (!resolveDatetime(out.datetime))
        return optionRefusal("--datetime", options.datetime,
                             "expected \"now\" or an ISO 8601 UTC time such as 2026-06-22T12:00:00Z");
    return {};
}
