#include "sigmf.h"

#include "wrapperGenSignalWave.h"

nlohmann::json sigmfMeta(const Request& request, const Recording& recording) {
    char version[32] = {};
    GetALGVersion(version);
    const std::string kind = request.kind().name;
    nlohmann::json extension = nlohmann::json::object();
    extension["name"] = "gensignal";
    extension["version"] = "1.0.0";
    extension["optional"] = true;
    nlohmann::json global = {
        {"core:datatype", "ci16_le"},
        {"core:sample_rate", recording.sampleRate},
        {"core:version", "1.0.0"},
        {"core:num_channels", 1},
        {"core:sha512", recording.sha512},
        {"core:description", request.description()},
        {"core:recorder", std::string("gensignal ") + version},
        {"gensignal:kind", kind},
        {"gensignal:samples", recording.samples},
    };
    global["core:extensions"] = nlohmann::json::array();
    global["core:extensions"].push_back(extension);
    const nlohmann::json fields = request.fields();
    for (const auto& [field, value] : fields.items()) global["gensignal:" + field] = value;
    if (!recording.loop.is_null()) global["gensignal:loop"] = recording.loop;
    nlohmann::json capture = {{"core:sample_start", 0}};
    if (!recording.datetime.empty()) capture["core:datetime"] = recording.datetime;
    const nlohmann::json annotation = {
        {"core:sample_start", 0},
        {"core:sample_count", recording.samples},
        {"core:freq_lower_edge", recording.band.lower},
        {"core:freq_upper_edge", recording.band.upper},
        {"core:label", kind},
    };
    nlohmann::json meta = nlohmann::json::object();
    meta["global"] = global;
    meta["captures"] = nlohmann::json::array();
    meta["captures"].push_back(capture);
    meta["annotations"] = nlohmann::json::array();
    meta["annotations"].push_back(annotation);
    return meta;
}
