#include "loopOptions.h"

#include <algorithm>
#include <cstring>

#include "choices.h"
#include "measurement.h"
#include "messages.h"
#include "optionText.h"
#include "request.h"

namespace {

constexpr const char* kPrefix = "GENSIGNAL_OPTION_";

std::vector<std::string> splitNames(const char* list) {
    std::vector<std::string> names;
    if (!list) return names;
    std::string rest = list;
    for (size_t at = 0;;) {
        const size_t comma = rest.find(',', at);
        names.push_back(rest.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
        if (comma == std::string::npos) return names;
        at = comma + 1;
    }
}

std::string kebab(std::string keyword) {
    std::replace(keyword.begin(), keyword.end(), '_', '-');
    return keyword;
}

// The keyword the table gives, or the name without its prefix.
std::string keywordOf(const GenSignalOptionInfo& info) {
    if (info.keyword && info.keyword[0]) return info.keyword;
    std::string name = info.name ? info.name : "";
    if (name.rfind(kPrefix, 0) == 0) name = name.substr(std::string(kPrefix).size());
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name;
}

std::string joined(const std::vector<std::string>& names, const char* last) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : i + 1 == names.size() ? last : ", ") + names[i];
    return text;
}

std::string defaultWords(const TableOption& o) {
    const double v = o.info.defaultValue;
    const size_t index = static_cast<size_t>(v);
    if (o.info.type == GENSIGNAL_OPTION_TYPE_CHOICE && v >= 0 && index < o.choices.size()) return o.choices[index];
    if (o.info.type == GENSIGNAL_OPTION_TYPE_FLAG) return v != 0 ? "true" : "false";
    return numberWord(v);
}

// The text as the number the library takes; false when it is none.
bool readValue(const TableOption& o, const std::string& text, double& value) {
    if (o.info.type == GENSIGNAL_OPTION_TYPE_FLAG) {
        bool on = false;
        if (!readTruth(text, on).empty()) return false;
        value = on ? 1 : 0;
        return true;
    }
    if (o.info.type == GENSIGNAL_OPTION_TYPE_CHOICE) {
        Choices choices;
        for (size_t i = 0; i < o.choices.size(); ++i) choices.emplace_back(o.choices[i], static_cast<int>(i));
        int32_t number = 0;
        if (!readChoice(text, choices, number).empty()) return false;
        value = number;
        return true;
    }
    return readNumber(text, value).empty();
}

GenSignalSnap lastSnap(int handle) {
    GenSignalSnap snap{};
    if (GenSignalGetSnap(handle, &snap) != 0) snap.field[0] = '\0';
    snap.field[sizeof snap.field - 1] = '\0';
    return snap;
}

// "MultitoneParams.toneSpacing" -> "toneSpacing".
std::string fieldOf(const GenSignalSnap& snap) {
    const std::string field = snap.field;
    const size_t dot = field.rfind('.');
    return dot == std::string::npos ? field : field.substr(dot + 1);
}

}  // namespace

const std::vector<TableOption>& optionTable() {
    static const std::vector<TableOption> table = [] {
        const int n = GenSignalListOptions(nullptr, 0);
        std::vector<GenSignalOptionInfo> infos(n > 0 ? n : 0);
        if (n > 0) GenSignalListOptions(infos.data(), n);
        std::vector<TableOption> out;
        for (const GenSignalOptionInfo& info : infos) {
            TableOption o;
            o.info = info;
            const std::string keyword = keywordOf(info);
            o.flag = "--" + kebab(keyword);
            o.key = info.option == GENSIGNAL_OPTION_LOOP_MODE ? "mode" : keyword;
            o.choices = splitNames(info.choices);
            out.push_back(o);
        }
        return out;
    }();
    return table;
}

std::vector<const TableOption*> optionsFor(const KindTable* kind) {
    uint32_t every = 0;
    for (const KindTable& k : allKinds()) every |= 1u << recordKindOf(k);
    const uint32_t wanted = kind ? 1u << recordKindOf(*kind) : every;
    std::vector<const TableOption*> out;
    for (const TableOption& o : optionTable())
        if ((o.info.kinds & wanted) == wanted) out.push_back(&o);
    return out;
}

std::string rangeWords(const TableOption& o) {
    const std::string unit = o.info.unit && o.info.unit[0] ? std::string(" ") + o.info.unit : "";
    const std::string lowest = numberWord(o.info.minimum), highest = numberWord(o.info.maximum);
    switch (o.info.type) {
        case GENSIGNAL_OPTION_TYPE_CHOICE:
            return joined(o.choices, " or ") + ", or 0 to " + numberWord(double(o.choices.size()) - 1);
        case GENSIGNAL_OPTION_TYPE_FLAG: return "true or false";
        case GENSIGNAL_OPTION_TYPE_WHOLE: return "a whole number from " + lowest + " to " + highest + unit;
        default: return lowest + " to " + highest + unit;
    }
}

bool LoopOptions::given(int option) const {
    for (const auto& [number, bound] : this->bound)
        if (number == option && bound->count() > 0) return true;
    return false;
}

void addLoopOptions(CLI::App* command, LoopOptions& options, const KindTable* kind) {
    for (const TableOption* o : optionsFor(kind)) {
        // A kind's own field of the same name keeps it (CLI11 would refuse a second).
        if (command->get_option_no_throw(o->flag) != nullptr) continue;
        const std::string help = std::string(o->info.help ? o->info.help : "") + " [" + rangeWords(*o) + "; default " +
                                 defaultWords(*o) + "]";
        std::string& text = options.text[o->info.option];
        CLI::Option* bound = nullptr;
        if (o->info.type == GENSIGNAL_OPTION_TYPE_FLAG) {
            bound = command->add_flag(o->flag, text, help);
        } else {
            bound = command->add_option(o->flag, text, help);
            const bool whole = o->info.type == GENSIGNAL_OPTION_TYPE_WHOLE;
            bound->type_name(o->info.type == GENSIGNAL_OPTION_TYPE_CHOICE ? "NAME" : whole ? "INT" : "NUMBER");
        }
        options.bound.emplace_back(o->info.option, bound);
    }
}

std::string applyLoopOptions(int handle, const LoopOptions& options) {
    for (const TableOption& o : optionTable()) {
        if (!options.given(o.info.option)) continue;
        const std::string& text = options.text.at(o.info.option);
        double value = 0;
        if (!readValue(o, text, value) || GenSignalSetOption(handle, o.info.option, value) != 0)
            return optionRefusal(o.flag, text, "must be " + rangeWords(o));
    }
    return {};
}

std::string loopNote(int handle, const KindTable& kind) {
    char note[512];
    if (GenSignalGetNote(handle, note, sizeof note) <= 0) return {};
    std::string said = inOptionTerms(kind, note);
    // "snapped MultitoneParams.toneSpacing from" -> "snapped --tone-spacing from".
    for (const Field& f : kind.fields)
        for (const std::string& name : {kind.record + "." + f.name, f.name}) {
            const std::string from = "snapped " + name + " from ";
            const size_t at = said.find(from);
            if (at != std::string::npos) said.replace(at, from.size(), "snapped --" + optionName(f.name) + " from ");
        }
    return said;
}

nlohmann::json snappedJson(int handle) {
    const GenSignalSnap snap = lastSnap(handle);
    if (snap.field[0] == '\0') return nullptr;
    return {{"field", fieldOf(snap)}, {"asked", snap.requested}, {"taken", snap.used}};
}

std::string snappedWords(int handle) {
    const GenSignalSnap snap = lastSnap(handle);
    if (snap.field[0] == '\0') return {};
    return "snapped --" + optionName(fieldOf(snap)) + " " + numberWord(snap.requested) + " to " + numberWord(snap.used);
}

void applySnap(int handle, const KindTable& kind, std::vector<unsigned char>& record, int& argument) {
    const GenSignalSnap snap = lastSnap(handle);
    const std::string name = fieldOf(snap);
    for (const Field& f : kind.fields) {
        if (name.empty() || f.name != name) continue;
        if (f.target == FieldTarget::Argument) argument = static_cast<int>(snap.used);
        if (f.target != FieldTarget::Record) return;
        const double real = snap.used;
        const int32_t integer = static_cast<int32_t>(snap.used);
        const uint8_t flag = snap.used != 0;
        const void* from = f.type == FieldType::Real   ? static_cast<const void*>(&real)
                           : f.type == FieldType::Flag ? static_cast<const void*>(&flag)
                                                       : static_cast<const void*>(&integer);
        const size_t size = f.type == FieldType::Real ? 8 : f.type == FieldType::Flag ? 1 : 4;
        if (f.offset + size <= record.size()) std::memcpy(record.data() + f.offset, from, size);
        return;
    }
}

nlohmann::json loopSettings(int handle, const KindTable* kind) {
    nlohmann::json settings = nlohmann::json::object();
    for (const TableOption* o : optionsFor(kind)) {
        double v = o->info.defaultValue;
        GenSignalGetOption(handle, o->info.option, &v);
        const size_t index = static_cast<size_t>(v);
        switch (o->info.type) {
            case GENSIGNAL_OPTION_TYPE_CHOICE:
                settings[o->key] = index < o->choices.size() ? nlohmann::json(o->choices[index]) : nlohmann::json(v);
                break;
            case GENSIGNAL_OPTION_TYPE_FLAG: settings[o->key] = v != 0; break;
            case GENSIGNAL_OPTION_TYPE_WHOLE: settings[o->key] = static_cast<int64_t>(v); break;
            default: settings[o->key] = v;
        }
    }
    return settings;
}

nlohmann::json loopMetadata(int handle, const KindTable& kind) {
    GenSignalLoopInfo info{};
    GenSignalGetLoopInfo(handle, &info);
    nlohmann::json loop = loopSettings(handle, &kind);
    loop["periods"] = info.periods;
    loop["samples_per_period"] = info.samplesPerPeriod;
    loop["duration"] = info.loopDuration;
    loop["whole_periods"] = info.wholePeriods == 1;
    const nlohmann::json snapped = snappedJson(handle);
    if (!snapped.is_null()) loop["snapped"] = snapped;
    return loop;
}

LoopPeriods loopPeriods(int handle) {
    GenSignalLoopInfo info{};
    GenSignalGetLoopInfo(handle, &info);
    return {info.samples, info.periods, info.samplesPerPeriod, info.wholePeriods == 1};
}
