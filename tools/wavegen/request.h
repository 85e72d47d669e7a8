// One kind's request as the command line gave it: a value per field of the
// kind's table, and everything made from those values (the record handed to
// the library, the metadata fields, the one-line description).
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "channelOptions.h"
#include "kinds.h"

struct FieldValue {
    std::string text;  // as given; read by Request::read()
    double real = 0;
    int32_t integer = 0;
    bool flag = false;
    uint32_t seed = 0;
    CLI::Option* option = nullptr;

    bool given() const { return option && option->count() > 0; }
};

class Request {
public:
    explicit Request(const KindTable& kind);

    const KindTable& kind() const { return *kind_; }
    // Adds one option per field to `command`, bound to this request's texts.
    void addOptions(CLI::App* command);
    // Reads the texts given into values; returns the first refusal
    // ("--pn-order 4.5: expected a whole number from ...") or "".
    std::string read();

    // The parameter record's bytes, every field at its place in the header.
    std::vector<unsigned char> record() const;
    // The entry point's extra argument (0 when the kind has none).
    int argument() const;
    // Whether a seed was given, and which.
    bool seeded(uint32_t& seed) const;
    // Sets the channel options on the handle and calls the library; returns
    // its result code.
    int generate(int handle, double sampleRate, int16_t** iq, int* count) const;
    // gensignal:channel of the last call (null without channel options).
    nlohmann::json channelMetadata() const { return channel_.metadata(); }

    // Every field by its header name, enumerations by their names (a seed
    // only when given).
    nlohmann::json fields() const;
    // What the SigMF signal extension says of this waveform ({} when nothing).
    nlohmann::json signalDetail() const;
    // "am: mod-frequency 1000 Hz, mod-depth 50 %, mod-shape sine".
    std::string description() const;

private:
    const KindTable* kind_;
    std::vector<FieldValue> values_;
    mutable KindChannel channel_;  // what it realised is collected by generate()
};

// A number as descriptions and messages show it ("%.10g", as in Python).
std::string numberWord(double v);

// The name of a choice field's value, or its number when it has none.
nlohmann::json choiceWord(const Field& field, int32_t value);

// Every kind's table, for other programs that must agree with wavegen.
nlohmann::json describeKinds();
