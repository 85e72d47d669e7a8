#include "sigmf.h"

#ifndef GENSIGNAL_VERSION
#error "GENSIGNAL_VERSION must be defined (the project's version)"
#endif

namespace {

nlohmann::json extension(const char* name, const char* version) {
    nlohmann::json e = nlohmann::json::object();
    e["name"] = name;
    e["version"] = version;
    e["optional"] = true;  // a reader that does not know it still reads the recording
    return e;
}

}  // namespace

std::string recorderName() { return std::string("gensignal ") + GENSIGNAL_VERSION; }

nlohmann::json sigmfGlobal(const RecordingCore& core) {
    nlohmann::json global = {
        {"core:datatype", "ci16_le"},      {"core:sample_rate", core.sampleRate},
        {"core:version", "1.2.0"},         {"core:num_channels", 1},
        {"core:sha512", core.sha512},      {"core:description", core.description},
        {"core:recorder", recorderName()}, {"gensignal:samples", core.samples},
    };
    // Enumerations by name since 2.0.0 (numbers before).
    global["core:extensions"] = nlohmann::json::array({extension("gensignal", "2.0.0")});
    if (core.detail) global["core:extensions"].push_back(extension("signal", "1.0.0"));
    if (core.repeat > 1) global["gensignal:repeat"] = core.repeat;
    return global;
}

nlohmann::json sigmfCapture(const std::optional<double>& centerFrequency, const std::string& datetime) {
    nlohmann::json capture = {{"core:sample_start", 0}};
    if (centerFrequency) capture["core:frequency"] = *centerFrequency;
    if (!datetime.empty()) capture["core:datetime"] = datetime;
    return capture;
}

nlohmann::json sigmfMeta(const Request& request, const Recording& recording) {
    const std::string kind = request.kind().name;
    const nlohmann::json detail = request.signalDetail();
    nlohmann::json global = sigmfGlobal({recording.sampleRate, recording.sha512, request.description(),
                                         recording.samples, recording.repeat, !detail.empty()});
    global["gensignal:kind"] = kind;
    global["gensignal:measured"] = recording.measured;
    const nlohmann::json fields = request.fields();
    for (const auto& [field, value] : fields.items()) global["gensignal:" + field] = value;
    if (!recording.loop.is_null()) global["gensignal:loop"] = recording.loop;
    // The channel the waveform went through, as wavegen impair records it.
    if (const nlohmann::json channel = request.channelMetadata(); !channel.is_null())
        global["gensignal:channel"] = channel;
    // Over one buffer; they repeat with it.
    if (!recording.markers.is_null()) global["gensignal:markers"] = recording.markers;

    const nlohmann::json capture = sigmfCapture(recording.centerFrequency, recording.datetime);

    // The edges at RF when the centre is known, relative to it otherwise.
    double lower = recording.lowerEdge, upper = recording.upperEdge;
    if (recording.centerFrequency) {
        lower += *recording.centerFrequency;
        upper += *recording.centerFrequency;
    }
    nlohmann::json annotation = {
        {"core:sample_start", 0},
        {"core:sample_count", recording.samples * recording.repeat},
        {"core:freq_lower_edge", lower},
        {"core:freq_upper_edge", upper},
        {"core:label", kind},
        {"core:generator", recorderName()},
    };
    if (!detail.empty()) annotation["signal:detail"] = detail;

    nlohmann::json meta = nlohmann::json::object();
    meta["global"] = global;
    meta["captures"] = nlohmann::json::array({capture});
    meta["annotations"] = nlohmann::json::array({annotation});
    return meta;
}
