#include "instrumentPresets.h"

#include <nlohmann/json.hpp>

#include "instrumentTable.h"
#include "messages.h"
#include "wrapperGenSignalWave.h"

const std::vector<InstrumentPreset>& instrumentPresets() {
    static const std::vector<InstrumentPreset> presets = [] {
        std::vector<InstrumentPreset> out;
        const nlohmann::json table = nlohmann::json::parse(kInstrumentTable);
        for (const auto& [name, entry] : table.items()) {
            InstrumentPreset p;
            p.name = name;
            p.family = entry.at("family").get<std::string>();
            p.source = entry.at("source").get<std::string>();
            p.granularity = entry.at("granularity").get<int64_t>();
            p.minLength = entry.at("min_length").get<int64_t>();
            p.maxSamples = entry.at("max_samples").get<int64_t>();
            out.push_back(p);
        }
        return out;
    }();
    return presets;
}

const InstrumentPreset* findInstrument(const std::string& name) {
    for (const InstrumentPreset& p : instrumentPresets())
        if (p.name == name) return &p;
    return nullptr;
}

std::vector<std::pair<int, double>> instrumentOptions(const InstrumentPreset& p) {
    return {{GENSIGNAL_OPTION_GRANULARITY, static_cast<double>(p.granularity)},
            {GENSIGNAL_OPTION_MIN_LENGTH, static_cast<double>(p.minLength)},
            {GENSIGNAL_OPTION_MAX_SAMPLES, static_cast<double>(p.maxSamples)}};
}

void addInstrumentOption(CLI::App* command, std::string& name) {
    std::string names;
    for (const InstrumentPreset& p : instrumentPresets()) names += (names.empty() ? "" : ", ") + p.name;
    command
        ->add_option("--instrument", name,
                     "build the loop to a length this instrument family takes (" + names +
                         "): its granularity, minimum length and memory, as the README lists them with their sources")
        ->type_name("NAME");
}

std::string applyInstrument(int handle, const std::string& name) {
    if (name.empty()) return {};
    const InstrumentPreset* preset = findInstrument(name);
    if (!preset) {
        std::string names;
        for (const InstrumentPreset& p : instrumentPresets()) names += (names.empty() ? "" : ", ") + p.name;
        return "--instrument " + name + ": expected one of " + names;
    }
    for (const auto& [option, value] : instrumentOptions(*preset))
        if (GenSignalSetOption(handle, option, value) != 0) {
            return "--instrument " + name + ": the library refused option " + std::to_string(option) + ": " +
                   lastReason();
        }
    return {};
}
