// Calls one entry point the way a hostile host would and checks what the
// API promises after every call. A broken promise prints what broke and
// aborts, which libFuzzer saves as a crash and the corpus replay reports.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "fuzzInput.h"

namespace fuzzing {

// What the harness expects of a decoded record, worked out without asking
// the library.
struct Expectation {
    // The record's defined work: samples computed at the internal or output
    // rate, or tone-sample evaluations for multitone.
    double work = 0;
    // Samples the call may hold at once (internal, resampled and output
    // arrays together): the bound on its working memory.
    double heldSamples = 0;
};

// What the record's plan says before the call: refused, or accepted with
// arrays of up to `samples` samples (counted exactly, from the plan).
struct Planned {
    bool accepted;
    double samples;
};

// A record the library accepts is not called when its work or its largest
// array is above this many samples: the fuzzer's time and memory budgets
// (-malloc_limit_mb) are for many small calls, and a valid record's memory
// grows with its output (2^30 complex samples are 8 GiB). Refused records
// are always called: a refusal comes before any large array.
constexpr double kWorkBudget = 1 << 18;

enum class Conversion { real, complex };

// The handle's opt-in settings for the call, decoded after the record (an
// input that ends before them keeps every default); and one setting a
// hostile host tries first, which must be refused or taken without harm.
struct LoopSettings {
    bool exact = false;
    int tonePhases = 0;
    double phaseSeed = 0;
    double peakDbfs = 0;
    int strayOption = 0;  // 0: none
    double strayValue = 0;
};
LoopSettings decodeSettings(FuzzInput& in);

// How the call reaches the library: on which handle, with the record or a
// null pointer. Decoded from the input's first bytes.
struct Target {
    enum Handle { fresh, holdingBuffer, released, neverHandedOut } handle;
    bool nullRecord;
    int primerSamples;  // holdingBuffer: samples of the earlier waveform
    int deadId;         // neverHandedOut: the id used
    LoopSettings settings;
};
Target decodeTarget(FuzzInput& in);

// `call(handleId, recordOrNull, iq, count)`: the entry point with the
// decoded record. Returns 0 (libFuzzer keeps the input) or -1 (skipped).
// `describe()` spells the record, extra argument and rate out for a report.
using EntryCall = std::function<int(int handleId, bool nullRecord, int16_t** iq, int* count)>;
int checkCall(const char* entryPoint, const char* record, const Target& target, Conversion conversion,
              const Expectation& expectation, const Planned& planned, const EntryCall& call,
              const std::function<std::string()>& describe);

// Name of the corpus file being replayed, for the report (null under libFuzzer).
void setCurrentInput(const char* name);

}  // namespace fuzzing
