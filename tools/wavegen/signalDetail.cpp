#include "signalDetail.h"

#include <map>

namespace {

nlohmann::json keyed(const char* modClass, int order) { return {{"mod_class", modClass}, {"order", order}}; }

nlohmann::json keyed(const char* modClass, int order, const char* symbolVariant) {
    nlohmann::json detail = keyed(modClass, order);
    detail["symbol_variant"] = symbolVariant;
    return detail;
}

const std::map<std::string, nlohmann::json>& modulations() {
    static const std::map<std::string, nlohmann::json> table{
        {"bpsk", keyed("psk", 2)},
        {"dbpsk", keyed("psk", 2, "differential")},
        {"qpsk", keyed("psk", 4)},
        {"dqpsk", keyed("psk", 4, "differential")},
        {"oqpsk", keyed("psk", 4, "offset")},
        {"pi4_dqpsk",
         {{"mod_class", "psk"}, {"order", 4}, {"symbol_variant", "differential"}, {"class_variant", "pi/4"}}},
        {"psk8", keyed("psk", 8)},
        {"dpsk8", keyed("psk", 8, "differential")},
        {"psk16", keyed("psk", 16)},
        {"qam8", keyed("qam", 8)},
        {"qam16", keyed("qam", 16)},
        {"qam64", keyed("qam", 64)},
        {"qam256", keyed("qam", 256)},
        {"qam1024", keyed("qam", 1024)},
        {"ask2", keyed("ask", 2)},
        {"ask4", keyed("ask", 4)},
        {"ask8", keyed("ask", 8)},
        {"fsk2", keyed("fsk", 2)},
        {"fsk4", keyed("fsk", 4)},
        {"fsk8", keyed("fsk", 8)},
        {"fsk16", keyed("fsk", 16)},
        // The extension has no class for amplitude-and-phase keying.
        {"apsk16", {{"order", 16}, {"class_variant", "apsk"}}},
    };
    return table;
}

}  // namespace

nlohmann::json kindSignalDetail(const std::string& kind) {
    static const std::map<std::string, nlohmann::json> table{
        {"digital", {{"type", "digital"}, {"carrier_variant", "single_carrier"}}},
        {"dss", {{"type", "digital"}, {"carrier_variant", "single_carrier"}, {"spreading", "dsss"}}},
        {"am", {{"type", "analog"}, {"mod_class", "am"}, {"carrier_variant", "with_carrier"}}},
        {"fm", {{"type", "analog"}, {"mod_class", "fm"}}},
        {"stepsweep", {{"type", "analog"}, {"mod_class", "fm"}, {"class_variant", "stepped sweep"}}},
        {"rampsweep", {{"type", "analog"}, {"mod_class", "fm"}, {"class_variant", "linear chirp"}}},
        {"ofdm", {{"type", "digital"}, {"carrier_variant", "multi_carrier"}, {"multiplexing", "ofdm"}}},
    };
    const auto found = table.find(kind);
    return found == table.end() ? nlohmann::json::object() : found->second;
}

nlohmann::json choiceSignalDetails(const Field& field) {
    nlohmann::json details = nlohmann::json::object();
    if (field.name != "modType") return details;
    for (const auto& [name, number] : field.choices) {
        const auto found = modulations().find(name);
        if (found != modulations().end()) details[name] = found->second;
    }
    return details;
}
