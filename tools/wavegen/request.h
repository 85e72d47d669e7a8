// One kind's request as the command line gave it: a value per field of the
// kind's table, and everything made from those values (the record handed to
// the library, the metadata fields, the one-line description).
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "kinds.h"

struct FieldValue {
    double real = 0;
    int32_t integer = 0;
    bool flag = false;
    uint32_t seed = 0;
    CLI::Option* option = nullptr;
};

class Request {
public:
    explicit Request(const KindTable& kind);

    const KindTable& kind() const { return *kind_; }
    // Adds one option per field to `command`, bound to this request's values.
    void addOptions(CLI::App* command);

    // The parameter record's bytes, every field at its place in the header.
    std::vector<unsigned char> record() const;
    // The entry point's extra argument (0 when the kind has none).
    int argument() const;
    // Whether a seed was given, and which.
    bool seeded(uint32_t& seed) const;
    // Calls the library; returns its result code.
    int generate(int handle, double sampleRate, int16_t** iq, int* count) const;

    // Every field by its header name (a seed only when given).
    nlohmann::json fields() const;
    // "am: mod-frequency 1000 Hz, mod-depth 50 %, mod-shape sine".
    std::string description() const;

private:
    const KindTable* kind_;
    std::vector<FieldValue> values_;
};

// A number as descriptions and messages show it ("%.10g", as in Python).
std::string numberWord(double v);

// Every kind's table, for other programs that must agree with wavegen.
nlohmann::json describeKinds();
