// The waveform kinds of wavegen, each one table: the fields of its record
// (and its extra argument) declared once. The options, the record handed to
// the library, the metadata and the help text are all made from the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// How a field's value is typed on the command line and stored.
enum class FieldType {
    Real,     // double
    Integer,  // int32_t
    Choice,   // int32_t, also by name
    Flag,     // uint8_t, true/false
    Seed,     // unsigned, optional: seeds the C library's rand() before the call
};

// Where a field's value goes.
enum class FieldTarget {
    Record,    // into the parameter record, at `offset`
    Argument,  // the entry point's extra int argument (symbolCount, bitCount)
    Program,   // used by wavegen itself (the noise seed)
};

struct Field {
    std::string name;  // the header's spelling: "pnOrder"
    FieldType type = FieldType::Real;
    FieldTarget target = FieldTarget::Record;
    size_t offset = 0;
    double defaultValue = 0;
    std::string unit;  // "" when the value has none
    std::string help;
    std::vector<std::pair<std::string, int>> choices;
    bool main = false;  // named in the description and the plot title

    Field& byDefault(double v) {
        defaultValue = v;
        return *this;
    }
    Field& in(std::string u) {
        unit = std::move(u);
        return *this;
    }
    Field& means(std::string text) {
        help = std::move(text);
        return *this;
    }
    Field& oneOf(std::vector<std::pair<std::string, int>> names) {
        type = FieldType::Choice;
        choices = std::move(names);
        return *this;
    }
    Field& isMain() {
        main = true;
        return *this;
    }
};

template <class T>
Field recordField(const char* name, size_t offset) {
    static_assert(sizeof(T) == 8 || sizeof(T) == 4 || sizeof(T) == 1, "unexpected record field type");
    Field f;
    f.name = name;
    f.offset = offset;
    f.type = sizeof(T) == 8 ? FieldType::Real : sizeof(T) == 4 ? FieldType::Integer : FieldType::Flag;
    return f;
}
// A record field with its type and place taken from the header.
#define RECORD_FIELD(Record, member) recordField<decltype(Record::member)>(#member, offsetof(Record, member))

inline Field argumentField(const char* name) {
    Field f;
    f.name = name;
    f.type = FieldType::Integer;
    f.target = FieldTarget::Argument;
    return f;
}

inline Field seedField() {
    Field f;
    f.name = "seed";
    f.type = FieldType::Seed;
    f.target = FieldTarget::Program;
    return f;
}

// Calls the kind's entry point with a filled record.
using Generate = int (*)(int handle, const void* record, int argument, int16_t** iq, int* count, double sampleRate);

struct KindTable {
    std::string name;        // the subcommand: "digital"
    std::string record;      // "DigitalModParams"
    std::string entryPoint;  // "GenerateDigitalModWaveform"
    std::string summary;     // one line of help
    size_t recordSize = 0;
    double sampleRate = 0;  // the default
    std::vector<Field> fields;
    Generate generate = nullptr;
};

// "pnOrder" -> "pn-order", "nullDC" -> "null-dc".
std::string optionName(const std::string& fieldName);

// The ten kinds, the default waveform's kind first.
const std::vector<KindTable>& allKinds();

const KindTable& digitalKind();
const KindTable& dssKind();
const KindTable& amKind();
const KindTable& fmKind();
const KindTable& multitoneKind();
const KindTable& pulseKind();
const KindTable& stepSweepKind();
const KindTable& rampSweepKind();
const KindTable& awgnKind();
const KindTable& ofdmKind();
