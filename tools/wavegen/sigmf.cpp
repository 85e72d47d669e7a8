#include "sigmf.h"

nlohmann::json recordingFields(double sampleRate, const std::string& sha512, const std::string& description,
                               int64_t samples, int64_t repeat, const std::optional<double>& centerFrequency,
                               const std::string& datetime) {
    nlohmann::json r = {{"sample_rate", sampleRate},
                        {"sha512", sha512},
                        {"description", description},
                        {"samples", samples},
                        {"repeat", repeat}};
    if (centerFrequency) r["center_frequency"] = *centerFrequency;
    if (!datetime.empty()) r["datetime"] = datetime;
    return r;
}

nlohmann::json waveformRecording(const Request& request, const Recording& recording) {
    const std::string kind = request.kind().name;
    nlohmann::json r = recordingFields(recording.sampleRate, recording.sha512, request.description(), recording.samples,
                                       recording.repeat, recording.centerFrequency, recording.datetime);
    nlohmann::json global = {{"gensignal:kind", kind}, {"gensignal:measured", recording.measured}};
    const nlohmann::json fields = request.fields();
    for (const auto& [field, value] : fields.items()) global["gensignal:" + field] = value;
    if (!recording.loop.is_null()) global["gensignal:loop"] = recording.loop;
    // The channel the waveform went through, as wavegen impair records it.
    if (const nlohmann::json channel = request.channelMetadata(); !channel.is_null())
        global["gensignal:channel"] = channel;
    // Over one buffer; they repeat with it.
    if (!recording.markers.is_null()) global["gensignal:markers"] = recording.markers;
    r["global"] = global;

    nlohmann::json annotation = {
        {"core:sample_start", 0},
        {"core:sample_count", recording.samples * recording.repeat},
        {"core:freq_lower_edge", recording.lowerEdge},
        {"core:freq_upper_edge", recording.upperEdge},
        {"core:label", kind},
    };
    if (const nlohmann::json detail = request.signalDetail(); !detail.empty()) annotation["signal:detail"] = detail;
    r["annotations"] = nlohmann::json::array({annotation});
    return r;
}
