#include "request.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A name from the list (any case) becomes its number; any other integer
// passes as it is, for the library to judge.
CLI::Validator choiceValidator(const Field& field) {
    const auto choices = field.choices;
    return CLI::Validator(
        [choices](std::string& text) -> std::string {
            for (const auto& [name, number] : choices)
                if (strcasecmp(name.c_str(), text.c_str()) == 0) {
                    text = std::to_string(number);
                    return {};
                }
            char* end = nullptr;
            std::strtol(text.c_str(), &end, 10);
            if (!text.empty() && *end == '\0') return {};
            std::string names;
            for (const auto& choice : choices) names += (names.empty() ? "" : ", ") + choice.first;
            return "not one of " + names + ", nor a number: " + text;
        },
        "NAME or NUMBER");
}

std::string helpText(const Field& field) {
    std::string help = field.help;
    if (!field.unit.empty()) help += " [" + field.unit + "]";
    if (!field.choices.empty()) {
        help += ":";
        for (const auto& [name, number] : field.choices) help += " " + name + " (" + std::to_string(number) + ")";
    }
    return help;
}

}  // namespace

std::string numberWord(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
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
        const std::string flag = "--" + optionName(f.name);
        const std::string help = helpText(f);
        // Only the type is checked here: ranges are the library's to judge,
        // so that its reason reaches the user.
        switch (f.type) {
            case FieldType::Real: v.option = command->add_option(flag, v.real, help)->capture_default_str(); break;
            case FieldType::Integer:
                v.option = command->add_option(flag, v.integer, help)->capture_default_str();
                break;
            case FieldType::Choice:
                v.option =
                    command->add_option(flag, v.integer, help)->transform(choiceValidator(f))->capture_default_str();
                break;
            case FieldType::Flag:
                v.option = command->add_option(flag, v.flag, help + " (true/false)")->capture_default_str();
                break;
            case FieldType::Seed: v.option = command->add_option(flag, v.seed, help); break;
        }
    }
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
        if (kind_->fields[i].type == FieldType::Seed && values_[i].option && values_[i].option->count() > 0) {
            seed = values_[i].seed;
            return true;
        }
    return false;
}

int Request::generate(int handle, double sampleRate, int16_t** iq, int* count) const {
    uint32_t seed = 0;
    if (seeded(seed)) std::srand(seed);
    const std::vector<unsigned char> bytes = record();
    return kind_->generate(handle, bytes.data(), argument(), iq, count, sampleRate);
}

nlohmann::json Request::fields() const {
    nlohmann::json fields = nlohmann::json::object();
    for (size_t i = 0; i < kind_->fields.size(); ++i) {
        const Field& f = kind_->fields[i];
        const FieldValue& v = values_[i];
        switch (f.type) {
            case FieldType::Real: fields[f.name] = v.real; break;
            case FieldType::Integer:
            case FieldType::Choice: fields[f.name] = v.integer; break;
            case FieldType::Flag: fields[f.name] = v.flag ? 1 : 0; break;
            case FieldType::Seed:
                if (v.option && v.option->count() > 0) fields[f.name] = v.seed;
                break;
        }
    }
    return fields;
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
            case FieldType::Choice:
                value = std::to_string(v.integer);
                for (const auto& [name, number] : f.choices)
                    if (number == v.integer) value = name;
                break;
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
            fields.push_back(field);
        }
        kinds.push_back({{"name", kind.name},
                         {"record", kind.record},
                         {"entryPoint", kind.entryPoint},
                         {"summary", kind.summary},
                         {"sampleRate", kind.sampleRate},
                         {"fields", fields}});
    }
    return kinds;
}
