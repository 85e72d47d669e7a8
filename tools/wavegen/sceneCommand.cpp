#include "sceneCommand.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "channelOptions.h"
#include "commandOrder.h"
#include "libraryText.h"
#include "kinds.h"
#include "loopOptions.h"
#include "markers.h"
#include "measurement.h"
#include "messages.h"
#include "outputOptions.h"
#include "recordingFiles.h"
#include "request.h"
#include "sceneYaml.h"
#include "sigmf.h"
#include "signalDetail.h"
#include "writers.h"
#include "wrapperGenSignalWave.h"

namespace {

using nlohmann::json;

struct SceneOptions {
    std::string file;
    OutputOptions output;
    LoopOptions loop;
};

// A part's record and placement as the file gave them.
struct PartFromFile {
    const KindTable* kind = nullptr;
    std::vector<unsigned char> record;
    std::string label;
    nlohmann::json detail = nlohmann::json::object();  // signal:detail, {} when the kind has none
    GenSignalChannel channel{};
    GenSignalScenePart part{};
};

std::string snakeName(const std::string& fieldName) {
    std::string name = optionName(fieldName);
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
}

const char* const kPlacementKeys[] = {"kind",      "label",       "frequency_offset", "level_db",    "delay",
                                      "phase_deg", "burst_on",    "burst_off",        "burst_start", "burst_ramp",
                                      "loop",      "tone_phases", "phase_seed",       "channel"};

// A channel from its settings by the channel options' snake-case names.
std::string channelOf(const json& settings, GenSignalChannel& channel) {
    std::string why = channelFromSettings(settings, channel);
    const std::string prefix = "gensignal:channel settings: ";
    if (why.compare(0, prefix.size(), prefix) == 0) why.erase(0, prefix.size());
    return why;
}

std::string numberAt(const json& part, const std::string& where, const char* key, double& v) {
    const auto it = part.find(key);
    if (it == part.end()) return "";
    if (!it->is_number()) return where + "." + key + " = " + it->dump() + ": expected a number";
    v = it->get<double>();
    return "";
}

std::string choiceAt(const json& part, const std::string& where, const char* key, const std::vector<std::string>& names,
                     int32_t& v) {
    const auto it = part.find(key);
    if (it == part.end()) return "";
    for (size_t i = 0; i < names.size(); ++i)
        if (it->is_string() && it->get<std::string>() == names[i]) {
            v = static_cast<int32_t>(i);
            return "";
        }
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
    return where + "." + key + " = " + it->dump() + ": expected one of " + list;
}

// The record's fields from the part's keys, each at its place in the header.
std::string fieldsOf(const json& part, const std::string& where, PartFromFile& p) {
    const KindTable& kind = *p.kind;
    p.record.assign(kind.recordSize, 0);
    for (const auto& [key, value] : part.items()) {
        bool known = false;
        for (const char* k : kPlacementKeys) known = known || key == k;
        for (const Field& f : kind.fields) known = known || key == snakeName(f.name);
        if (!known) {
            std::string names;
            for (const Field& f : kind.fields) names += (names.empty() ? "" : ", ") + snakeName(f.name);
            return where + "." + key + ": not a field of " + kind.name + " (its fields: " + names +
                   ") nor of a part's placement";
        }
    }
    for (const Field& f : kind.fields) {
        const std::string key = snakeName(f.name);
        const auto it = part.find(key);
        double real = f.defaultValue;
        int32_t whole = static_cast<int32_t>(f.defaultValue);
        const std::string at = where + "." + key;
        if (it != part.end()) {
            if (f.type == FieldType::Seed) return at + ": a scene takes no seed (noise parts draw from the record)";
            if (f.type == FieldType::Choice && it->is_string()) {
                // (its signal:detail words below, from the number)
                bool found = false;
                for (const auto& [name, number] : f.choices)
                    if (name == it->get<std::string>()) whole = number, found = true;
                if (!found)
                    return at + " = " + it->dump() + ": not one of its names (wavegen " + kind.name +
                           " --help lists them)";
            } else if (f.type == FieldType::Flag && it->is_boolean()) {
                whole = it->get<bool>() ? 1 : 0;
            } else if (it->is_number()) {
                real = it->get<double>();
                if (f.type != FieldType::Real) {
                    if (!(std::floor(real) == real && std::fabs(real) < 2147483648.0))
                        return at + " = " + it->dump() + ": expected a whole number";
                    whole = static_cast<int32_t>(real);
                }
            } else {
                return at + " = " + it->dump() + ": expected " +
                       (f.type == FieldType::Real   ? "a number"
                        : f.type == FieldType::Flag ? "true or false"
                                                    : "a name or a whole number");
            }
        }
        if (f.type == FieldType::Choice) {
            const nlohmann::json words = choiceSignalDetails(f);
            for (const auto& [name, number] : f.choices)
                if (number == whole && words.contains(name)) p.detail.update(words.at(name));
        }
        if (f.target == FieldTarget::Argument) {
            p.part.argument = whole;
            continue;
        }
        if (f.target != FieldTarget::Record) continue;
        const uint8_t flag = whole != 0 ? 1 : 0;
        switch (f.type) {
            case FieldType::Real: std::memcpy(&p.record[f.offset], &real, sizeof real); break;
            case FieldType::Integer:
            case FieldType::Choice: std::memcpy(&p.record[f.offset], &whole, sizeof whole); break;
            case FieldType::Flag: std::memcpy(&p.record[f.offset], &flag, 1); break;
            case FieldType::Seed: break;
        }
    }
    return "";
}

std::string partOf(const json& part, size_t index, PartFromFile& p) {
    const std::string where = "parts[" + std::to_string(index) + "]";
    if (!part.is_object()) return where + ": expected an object with a kind and its fields";
    const auto kind = part.find("kind");
    std::string kinds;
    for (const KindTable& k : allKinds()) {
        kinds += (kinds.empty() ? "" : ", ") + k.name;
        if (kind != part.end() && kind->is_string() && kind->get<std::string>() == k.name) p.kind = &k;
    }
    if (!p.kind)
        return where + ".kind" + (kind == part.end() ? " is missing" : " = " + kind->dump()) + ": expected one of " +
               kinds;
    p.detail = kindSignalDetail(p.kind->name);
    if (std::string why = fieldsOf(part, where, p); !why.empty()) return why;
    GenSignalScenePart& s = p.part;
    s.recordKind = recordKindOf(*p.kind);
    // The record is packed: its doubles are read and written through bytes.
    for (auto [key, offset] :
         {std::pair<const char*, size_t>{"frequency_offset", offsetof(GenSignalScenePart, frequencyOffset)},
          {"level_db", offsetof(GenSignalScenePart, levelDb)},
          {"delay", offsetof(GenSignalScenePart, delay)},
          {"phase_deg", offsetof(GenSignalScenePart, phaseDeg)},
          {"burst_on", offsetof(GenSignalScenePart, burstOn)},
          {"burst_off", offsetof(GenSignalScenePart, burstOff)},
          {"burst_start", offsetof(GenSignalScenePart, burstStart)},
          {"burst_ramp", offsetof(GenSignalScenePart, burstRamp)}}) {
        unsigned char* at = reinterpret_cast<unsigned char*>(&s) + offset;
        double value = 0;
        std::memcpy(&value, at, sizeof value);
        if (std::string why = numberAt(part, where, key, value); !why.empty()) return why;
        std::memcpy(at, &value, sizeof value);
    }
    if (std::string why = choiceAt(part, where, "loop", {"scene", "defined", "exact"}, s.loopMode); !why.empty())
        return why;
    if (std::string why = choiceAt(part, where, "tone_phases", {"zero", "newman", "schroeder", "random"}, s.tonePhases);
        !why.empty())
        return why;
    double seed = 0;
    if (std::string why = numberAt(part, where, "phase_seed", seed); !why.empty()) return why;
    if (!(seed >= 0 && seed <= 4294967295.0 && std::floor(seed) == seed))
        return where + ".phase_seed: expected a whole number 0 ... 4294967295";
    s.phaseSeed = static_cast<uint32_t>(seed);
    if (const auto channel = part.find("channel"); channel != part.end() && !channel->is_null()) {
        if (std::string why = channelOf(*channel, p.channel); !why.empty()) return where + ".channel: " + why;
        s.channel = &p.channel;
    }
    const auto label = part.find("label");
    p.label = label != part.end() && label->is_string() ? label->get<std::string>() : p.kind->name;
    return "";
}

std::string readScene(const std::string& name, json& scene) {
    const auto dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
    std::ifstream in(name);
    if (!in) return name + ": cannot be read";
    std::stringstream text;
    text << in.rdbuf();
    if (ext == ".yaml" || ext == ".yml") {
        if (std::string why = jsonOfYaml(text.str(), scene); !why.empty()) return name + ": not YAML: " + why;
    } else {
        try {
            scene = json::parse(text.str());
        } catch (const json::exception& e) {
            return name + ": not JSON: " + e.what();
        }
    }
    if (!scene.is_object()) return name + ": expected an object with sample_rate and parts";
    for (const auto& [key, value] : scene.items())
        if (key != "sample_rate" && key != "parts" && key != "cfr" && key != "channel" && key != "noise_seed")
            return name + ": " + key + ": not a key of a scene (sample_rate, parts, cfr, channel, noise_seed)";
    return "";
}

std::string cfrOf(const json& scene, GenSignalScene& s) {
    const auto cfr = scene.find("cfr");
    if (cfr == scene.end() || cfr->is_null()) return "";
    if (!cfr->is_object())
        return "cfr: expected an object with target_papr_db (and method, probability, iterations, window_s)";
    s.cfrMethod = GENSIGNAL_CFR_CLIP_FILTER;
    for (const auto& [key, value] : cfr->items()) {
        if (key == "method") {
            if (value == "clip_filter")
                s.cfrMethod = GENSIGNAL_CFR_CLIP_FILTER;
            else if (value == "peak_window")
                s.cfrMethod = GENSIGNAL_CFR_PEAK_WINDOW;
            else
                return "cfr.method = " + value.dump() + ": expected \"clip_filter\" or \"peak_window\"";
            continue;
        }
        if (!value.is_number()) return "cfr." + key + " = " + value.dump() + ": expected a number";
        if (key == "target_papr_db")
            s.cfrTargetPaprDb = value.get<double>();
        else if (key == "probability")
            s.cfrProbability = value.get<double>();
        else if (key == "iterations" && value.is_number_integer())
            s.cfrIterations = value.get<int32_t>();
        else if (key == "window_s")
            s.cfrWindow = value.get<double>();
        else
            return "cfr." + key +
                   ": not a setting (target_papr_db, method, probability, iterations as a whole number, window_s)";
    }
    if (cfr->find("target_papr_db") == cfr->end()) return "cfr.target_papr_db is missing";
    return "";
}

// One annotation per burst, and one for each part that is always on.
json annotationsOf(const std::vector<GenSignalSceneLabel>& labels, const std::vector<PartFromFile>& parts) {
    json out = json::array();
    for (const GenSignalSceneLabel& l : labels) {
        const bool bursts = parts[l.part].part.burstOn > 0;
        if (bursts != (l.burst >= 0)) continue;
        json a = {{"core:sample_start", l.sampleStart},         {"core:sample_count", l.sampleCount},
                  {"core:freq_lower_edge", l.freqLowerEdge},    {"core:freq_upper_edge", l.freqUpperEdge},
                  {"core:label", parts[l.part].label},          {"gensignal:part", l.part},
                  {"gensignal:kind", parts[l.part].kind->name}, {"gensignal:level_db", l.levelDb},
                  {"gensignal:power_dbfs", l.powerDbfs},        {"gensignal:evm_cost_percent", l.evmCostPercent}};
        if (l.burst >= 0) a["gensignal:burst"] = l.burst;
        if (!parts[l.part].detail.empty()) a["signal:detail"] = parts[l.part].detail;
        out.push_back(a);
    }
    return out;
}

// Every label as made, in the Python package's words, so that a reader gets
// them all back: the annotations leave out a bursting part's whole-part
// label and shift the edges to RF.
json labelsOf(const std::vector<GenSignalSceneLabel>& labels, const std::vector<PartFromFile>& parts) {
    auto number = [](double v) { return std::isfinite(v) ? json(v) : json(nullptr); };
    json out = json::array();
    for (const GenSignalSceneLabel& l : labels)
        out.push_back({{"part", l.part},
                       {"burst", l.burst},
                       {"sample_start", l.sampleStart},
                       {"sample_count", l.sampleCount},
                       {"freq_lower_edge", l.freqLowerEdge},
                       {"freq_upper_edge", l.freqUpperEdge},
                       {"kind", parts[l.part].kind->name},
                       {"label", parts[l.part].label},
                       {"level_db", number(l.levelDb)},
                       {"power_dbfs", number(l.powerDbfs)},
                       {"evm_cost_percent", l.evmCostPercent},
                       {"detail", parts[l.part].detail}});
    return out;
}

json reportOf(const GenSignalSceneReport& r) {
    auto number = [](double v) { return std::isfinite(v) ? json(v) : json(nullptr); };
    return {{"samples", r.samples},
            {"iterations", r.iterations},
            {"papr_before_db", number(r.paprBeforeDb)},
            {"papr_after_db", number(r.paprAfterDb)},
            {"peak_before_db", number(r.peakBeforeDb)},
            {"peak_after_db", number(r.peakAfterDb)},
            {"acpr_lower_before_db", number(r.acprLowerBeforeDb)},
            {"acpr_lower_after_db", number(r.acprLowerAfterDb)},
            {"acpr_upper_before_db", number(r.acprUpperBeforeDb)},
            {"acpr_upper_after_db", number(r.acprUpperAfterDb)}};
}

int refused(const std::string& why) {
    std::cerr << "wavegen: " << why << "\n";
    return 2;
}

// A scene file read into the library's descriptors, which point into it:
// made in place, never copied.
struct SceneInput {
    json scene;
    std::vector<PartFromFile> parts;
    std::vector<GenSignalScenePart> descriptors;
    GenSignalChannel channel{};
    GenSignalScene s{};
    Output out;

    SceneInput() = default;
    SceneInput(const SceneInput&) = delete;
    SceneInput& operator=(const SceneInput&) = delete;
};

// Empty when the file and the output options are read, else the refusal.
std::string readSceneInput(const SceneOptions& o, SceneInput& in) {
    if (std::string why = readScene(o.file, in.scene); !why.empty()) return why;
    const json& scene = in.scene;
    const auto rate = scene.find("sample_rate");
    if (rate == scene.end() || !rate->is_number()) return o.file + ": sample_rate: expected a number";
    if (!o.output.sampleRate.empty())
        return "--sample-rate " + o.output.sampleRate + ": the scene states its own rate, sample_rate";
    const auto list = scene.find("parts");
    if (list == scene.end() || !list->is_array() || list->empty())
        return o.file + ": parts: expected a list of at least one part";
    in.parts.resize(list->size());
    for (size_t i = 0; i < in.parts.size(); ++i)
        if (std::string why = partOf((*list)[i], i, in.parts[i]); !why.empty()) return o.file + ": " + why;
    for (PartFromFile& p : in.parts) {
        p.part.record = p.record.data();
        in.descriptors.push_back(p.part);
    }
    in.s.sampleRate = rate->get<double>();
    in.s.partCount = static_cast<int32_t>(in.descriptors.size());
    in.s.parts = in.descriptors.data();
    if (std::string why = cfrOf(scene, in.s); !why.empty()) return o.file + ": " + why;
    if (const auto channel = scene.find("channel"); channel != scene.end() && !channel->is_null()) {
        if (std::string why = channelOf(*channel, in.channel); !why.empty()) return o.file + ": channel: " + why;
        in.s.channel = &in.channel;
    }
    OutputOptions outputOptions = o.output;
    if (outputOptions.output == "waveform") outputOptions.output = "scene";
    return readOutput(outputOptions, in.s.sampleRate, in.out);
}

// Noise parts draw the counter-based generator's streams under the seed.
std::string seedNoise(int handle, const json& scene, const std::string& file) {
    const auto seed = scene.find("noise_seed");
    if (seed == scene.end() || seed->is_null()) return {};
    if (!seed->is_number_unsigned())
        return file + ": noise_seed = " + seed->dump() + ": expected a whole number from 0 to 2^64 - 1";
    GenSignalChannel seedOnly{};
    seedOnly.seed = seed->get<uint64_t>();
    if (GenSignalSetOption(handle, GENSIGNAL_OPTION_NOISE_SOURCE, GENSIGNAL_NOISE_SOURCE_CHANNEL) != 0 ||
        GenSignalSetChannel(handle, &seedOnly) != 0)
        return file + ": noise_seed: " + lastReason();
    return {};
}

// The loop the scene made on `handle`, written with its labels, report,
// loop settings and markers.
int writeScene(int handle, const SceneInput& in, const int16_t* iq, int count) {
    const Output& out = in.out;
    std::vector<GenSignalSceneLabel> labels(static_cast<size_t>(GenSignalGetSceneLabels(handle, nullptr, 0)));
    GenSignalGetSceneLabels(handle, labels.data(), static_cast<int>(labels.size()));
    GenSignalSceneReport report{};
    GenSignalGetSceneReport(handle, &report);
    BurstRanges bursts;
    for (const GenSignalSceneLabel& l : labels)
        if (l.burst >= 0) bursts.emplace_back(l.sampleStart, l.sampleStart + l.sampleCount);
    std::vector<MarkerLine> markers;
    if (std::string why = markerLines(out.markers, loopPeriods(handle), markers, &bursts); !why.empty())
        return refused(why);

    const std::string description = "scene of " + std::to_string(in.parts.size()) + " parts";
    json recording = recordingFields(in.s.sampleRate, sha512OfInt16(iq, count, out.repeat), description, count / 2,
                                     out.repeat, out.centerFrequency, out.datetime);
    json global = {{"gensignal:scene", in.scene},
                   {"gensignal:scene_report", reportOf(report)},
                   {"gensignal:labels", labelsOf(labels, in.parts)},
                   {"gensignal:loop", loopSettings(handle, nullptr)}};
    if (!markers.empty()) global["gensignal:markers"] = markersJson(markers);
    recording["global"] = global;
    recording["annotations"] = annotationsOf(labels, in.parts);
    std::string written;
    const int status = writeRecording(
        out, iq, count, [&] { return sigmfText(recording); }, "sample rate", written, description, markers);
    if (status == 0) {
        std::FILE* to = out.toStandardOutput() ? stderr : stdout;
        std::fprintf(to, "scene: %d samples of %zu parts at %.10g Hz, %zu labels%s -> %s\n", count / 2, in.parts.size(),
                     in.s.sampleRate, labels.size(),
                     in.s.cfrMethod ? (", PAPR " + numberWord(report.paprBeforeDb) + " -> " +
                                       numberWord(report.paprAfterDb) + " dB")
                                          .c_str()
                                    : "",
                     written.c_str());
    }
    return status;
}

int runScene(const SceneOptions& o) {
    SceneInput in;
    if (std::string why = readSceneInput(o, in); !why.empty()) return refused(why);
    const int handle = GenSignalObjCreatSelfEncode();
    if (handle < 0) {
        std::cerr << "wavegen: " << lastReason() << "\n";
        return 3;
    }
    std::unique_ptr<int, void (*)(int*)> release(new int(handle), [](int* h) {
        GenSignalObjRelease(*h);
        delete h;
    });
    if (std::string why = applyLoopOptions(handle, o.loop); !why.empty()) return refused(why);
    if (std::string why = seedNoise(handle, in.scene, o.file); !why.empty()) return refused(why);
    int16_t* iq = nullptr;
    int count = 0;
    const int rc = GenerateSceneWaveform(handle, &in.s, &iq, &count);
    if (rc != 0) {
        std::cerr << "wavegen: " << o.file << ": " << lastReason() << "\n";
        return rc == -1 ? 2 : 3;
    }
    char note[1024];
    if (GenSignalGetNote(handle, note, sizeof note) > 0) std::cerr << "wavegen: note: " << note << "\n";
    return writeScene(handle, in, iq, count);
}

}  // namespace

void registerSceneCommand(CLI::App& app) {
    auto options = std::make_shared<SceneOptions>();
    CLI::App* command = app.add_subcommand(
        "scene",
        "several waveforms on one loop from a JSON or YAML scene: parts, offsets, levels, bursts, channels, crest "
        "factor");
    command
        ->add_option("file", options->file,
                     "SCENE.json or SCENE.yaml: sample_rate, parts (kind and fields in snake case, channel), "
                     "cfr, channel")
        ->required();
    addOutputOptions(command, options->output);
    addLoopOptions(command, options->loop, nullptr);
    command->final_callback([options, command] {
        const std::string before = optionBeforeCommand(*command->get_parent(), *command);
        if (!before.empty()) {
            std::cerr << "wavegen: " << before << "\n";
            std::exit(2);
        }
        const int status = runScene(*options);
        std::fflush(nullptr);
        std::exit(status);
    });
}
