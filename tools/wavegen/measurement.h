// The library's measurements as wavegen shows and records them: the call,
// the JSON object (the keys of `wavegen measure --json` and of the SigMF
// metadata's gensignal:measured), the readable table and the summary words.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "kinds.h"
#include "wrapperGenSignalWave.h"

// The GENSIGNAL_RECORD_ number of a kind's record.
int recordKindOf(const KindTable& kind);

struct MeasureCall {
    const void* samples = nullptr;
    int64_t valueCount = 0;
    int format = GENSIGNAL_FORMAT_CI16;
    double sampleRate = 0;
    int recordKind = GENSIGNAL_RECORD_NONE;
    const void* record = nullptr;
    int argument = 0;
    GenSignalMeasureOptions options{};
    const GenSignalModulationDescription* description = nullptr;  // a capture's modulation, as its user said
};

// The library's numbers: the measurement and the measures in functions of their own.
struct Measured {
    GenSignalMeasurement m{};
    double seamPrediction = 0;
};

// True with `out` filled, or false with the library's reason in `error`.
bool measureWith(const MeasureCall& call, Measured& out, std::string& error);

// Every key, null where the value does not apply.
nlohmann::json measuredJson(const Measured& measured);

// The numbers one per line, for people.
std::string measuredTable(const Measured& measured, double obwPercent);

// "1.35 MHz", "585.5 kHz", "48 Hz".
std::string hertzText(double hz);

// Why EVM has no value, in words ("FSK and analog kinds have none").
const char* evmStatusText(int status);
