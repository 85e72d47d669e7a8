#include "request.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "optionText.h"
#include "signalDetail.h"

namespace {

std::string helpText(const Field& field) {
    std::string help = field.help;
    if (!field.unit.empty()) help += " [" + field.unit + "]";
    if (!field.choices.empty()) {
        help += ":";
        for (const auto& [name, number] : field.choices) help += " " + name + " (" + std::to_string(number) + ")";
    }
    return help;
}

std::string defaultText(const Field& field) {
    switch (field.type) {
        case FieldType::Real: return numberWord(field.defaultValue);
        case FieldType::Integer: return std::to_string(static_cast<int32_t>(field.defaultValue));
        case FieldType::Choice: {
            const nlohmann::json word = choiceWord(field, static_cast<int32_t>(field.defaultValue));
            return word.is_string() ? word.get<std::string>() : word.dump();
        }
        case FieldType::Flag: return field.defaultValue != 0 ? "true" : "false";
        case FieldType::Seed: return {};
    }
    return {};
}

const char* typeName(FieldType type) {
    switch (type) {
        case FieldType::Real: return "NUMBER";
        case FieldType::Integer: return "WHOLE";
        case FieldType::Choice: return "NAME|WHOLE";
        case FieldType::Flag: return "BOOL";
        case FieldType::Seed: return "WHOLE";
    }
    return "";
}

}  // namespace

std::string numberWord(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

nlohmann::json choiceWord(const Field& field, int32_t value) {
    for (const auto& [name, number] : field.choices)
        if (number == value) return name;
    return value;
}

Request::Request(const KindTable& kind) : kind_(&kind), values_(kind.fields.size()) {
    for (size_t i = 0; i < kind.fields.size(); ++i) {
        const Field& f = kind.fields[i];
        values_[i].real = f.defaultValue;
        values_[i].integer = static_cast<int32_t>(f.defaultValue);
        values_[i].flag = f.defaultValue != 0;
    }
}

void Request::addOptions(CLI::App* command) {
    for (size_t i = 0; i < kind_->fields.size(); ++i) {
        const Field& f = kind_->fields[i];
        FieldValue& v = values_[i];
        // Only the type is checked here (in read()): ranges are the
        // library's to judge, so that its reason reaches the user.
        v.option = command->add_option("--" + optionName(f.name), v.text, helpText(f))->type_name(typeName(f.type));
        if (f.type != FieldType::Seed) v.option->default_str(defaultText(f));
    }
    channel_.addOptions(command);
}

std::string Request::read() {
    for (size_t i = 0; i < kind_->fields.size(); ++i) {
        const Field& f = kind_->fields[i];
        FieldValue& v = values_[i];
        if (!v.given()) continue;
        std::string why;
        switch (f.type) {
            case FieldType::Real: why = readNumber(v.text, v.real); break;
            case FieldType::Integer: why = readInt32(v.text, v.integer); break;
            case FieldType::Choice: why = readChoice(v.text, f.choices, v.integer); break;
            case FieldType::Flag: why = readTruth(v.text, v.flag); break;
            case FieldType::Seed: {
                double seed = 0;
                why = readWhole(v.text, 0, 4294967295.0, seed);
                v.seed = static_cast<uint32_t>(seed);
                break;
            }
        }
        if (!why.empty()) return optionRefusal("--" + optionName(f.name), v.text, why);
    }
    return channel_.read();
}

std::vector<unsigned char> Request::record() const {
    std::vector<unsigned char> bytes(kind_->recordSize, 0);
    for (size_t i = 0; i < kind_->fields.size(); ++i) {
        const Field& f = kind_->fields[i];
        if (f.target != FieldTarget::Record) continue;
        const FieldValue& v = values_[i];
        const uint8_t flag = v.flag ? 1 : 0;
        switch (f.type) {
            case FieldType::Real: std::memcpy(&bytes[f.offset], &v.real, sizeof v.real); break;
            case FieldType::Integer:
            case FieldType::Choice: std::memcpy(&bytes[f.offset], &v.integer, sizeof v.integer); break;
            case FieldType::Flag: std::memcpy(&bytes[f.offset], &flag, 1); break;
            case FieldType::Seed: break;
        }
    }
    return bytes;
}

int Request::argument() const {
    for (size_t i = 0; i < kind_->fields.size(); ++i)
        if (kind_->fields[i].target == FieldTarget::Argument) return values_[i].integer;
    return 0;
}

bool Request::seeded(uint32_t& seed) const {
    for (size_t i = 0; i < kind_->fields.size(); ++i)
        if (kind_->fields[i].type == FieldType::Seed && values_[i].given()) {
            seed = values_[i].seed;
            return true;
        }
    return false;
}

int Request::generate(int handle, double sampleRate, int16_t** iq, int* count) const {
    if (int rc = channel_.apply(handle)) return rc;
    uint32_t seed = 0;
    if (seeded(seed)) std::srand(seed);
    const std::vector<unsigned char> bytes = record();
    const int rc = kind_->generate(handle, bytes.data(), argument(), iq, count, sampleRate);
    if (rc == 0) channel_.collect(handle);
    return rc;
}

nlohmann::json Request::fields() const {
    nlohmann::json fields = nlohmann::json::object();
    for (size_t i = 0; i < kind_->fields.size(); ++i) {
        const Field& f = kind_->fields[i];
        const FieldValue& v = values_[i];
        switch (f.type) {
            case FieldType::Real: fields[f.name] = v.real; break;
            case FieldType::Integer: fields[f.name] = v.integer; break;
            case FieldType::Choice: fields[f.name] = choiceWord(f, v.integer); break;
            case FieldType::Flag: fields[f.name] = v.flag ? 1 : 0; break;
            case FieldType::Seed:
                if (v.given()) fields[f.name] = v.seed;
                break;
        }
    }
    return fields;
}

nlohmann::json Request::signalDetail() const {
    nlohmann::json detail = kindSignalDetail(kind_->name);
    for (size_t i = 0; i < kind_->fields.size(); ++i) {
        const nlohmann::json word = choiceWord(kind_->fields[i], values_[i].integer);
        if (kind_->fields[i].type != FieldType::Choice || !word.is_string()) continue;
        const nlohmann::json choices = choiceSignalDetails(kind_->fields[i]);
        if (choices.contains(word.get<std::string>())) detail.update(choices.at(word.get<std::string>()));
    }
    return detail;
}

std::string Request::description() const {
    std::string text = kind_->name + ":";
    const char* separator = " ";
    for (size_t i = 0; i < kind_->fields.size(); ++i) {
        const Field& f = kind_->fields[i];
        if (!f.main) continue;
        const FieldValue& v = values_[i];
        std::string value;
        switch (f.type) {
            case FieldType::Real: value = numberWord(v.real); break;
            case FieldType::Integer: value = std::to_string(v.integer); break;
            case FieldType::Choice: {
                const nlohmann::json word = choiceWord(f, v.integer);
                value = word.is_string() ? word.get<std::string>() : word.dump();
                break;
            }
            case FieldType::Flag: value = v.flag ? "yes" : "no"; break;
            case FieldType::Seed: value = std::to_string(v.seed); break;
        }
        text += separator + optionName(f.name) + " " + value + (f.unit.empty() ? "" : " " + f.unit);
        separator = ", ";
    }
    return text;
}

nlohmann::json describeKinds() {
    static const char* const typeNames[] = {"real", "integer", "choice", "flag", "seed"};
    static const char* const targetNames[] = {"record", "argument", "program"};
    nlohmann::json kinds = nlohmann::json::array();
    for (const KindTable& kind : allKinds()) {
        nlohmann::json fields = nlohmann::json::array();
        for (const Field& f : kind.fields) {
            nlohmann::json field{{"name", f.name},
                                 {"option", "--" + optionName(f.name)},
                                 {"type", typeNames[static_cast<int>(f.type)]},
                                 {"target", targetNames[static_cast<int>(f.target)]},
                                 {"unit", f.unit},
                                 {"help", f.help},
                                 {"main", f.main}};
            if (f.type == FieldType::Real)
                field["default"] = f.defaultValue;
            else if (f.type == FieldType::Seed)
                field["default"] = nullptr;
            else
                field["default"] = static_cast<int32_t>(f.defaultValue);
            if (!f.choices.empty()) field["choices"] = f.choices;
            const nlohmann::json details = choiceSignalDetails(f);
            if (!details.empty()) field["signalDetail"] = details;
            fields.push_back(field);
        }
        kinds.push_back({{"name", kind.name},
                         {"record", kind.record},
                         {"entryPoint", kind.entryPoint},
                         {"summary", kind.summary},
                         {"sampleRate", kind.sampleRate},
                         {"signalDetail", kindSignalDetail(kind.name)},
                         {"fields", fields}});
    }
    return kinds;
}
