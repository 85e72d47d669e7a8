// wavegen's opt-in settings, one option per entry of the library's option
// table (GenSignalListOptions): --loop, --peak-dbfs, --snap, --granularity,
// ... with the table's help, choices and ranges, handed to the generator
// object before the call; after it, the settings and the loop the call made,
// for the summary and the SigMF metadata, and the note a defined call leaves.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "kinds.h"
#include "markers.h"
#include "wrapperGenSignalWave.h"

// One entry of the library's table as wavegen spells it.
struct TableOption {
    GenSignalOptionInfo info{};
    std::string flag;                  // "--peak-dbfs": the keyword in kebab case
    std::string key;                   // in gensignal:loop: the keyword ("mode" for the loop mode)
    std::vector<std::string> choices;  // names of the values 0, 1, ... of a choice
};

// The library's options, in its order.
const std::vector<TableOption>& optionTable();

// The options a command takes: those shaping `kind`, or, without a kind,
// those that shape every kind.
std::vector<const TableOption*> optionsFor(const KindTable* kind);

// "a whole number from 0 to 4294967295", "-90 to 0 dBFS", "defined or exact
// (or 0 to 1)", "true or false": what a value must be.
std::string rangeWords(const TableOption& option);

// The texts given on the command line, by option number. Options bound to
// it must not be copied.
struct LoopOptions {
    std::map<int, std::string> text;
    std::vector<std::pair<int, CLI::Option*>> bound;
    bool given(int option) const;
};

void addLoopOptions(CLI::App* command, LoopOptions& options, const KindTable* kind);

// Sets every option given on the handle (the others keep the handle's
// values, so that an explicit option beats an instrument preset set
// before); empty on success, else the refusal with the option's range.
std::string applyLoopOptions(int handle, const LoopOptions& options);

// The note of the last call on the handle in wavegen's words, empty when
// it left none.
std::string loopNote(int handle, const KindTable& kind);

// What snap changed in the last call ({field, asked, taken}; null when it
// changed nothing), and the same in words for the summary line.
nlohmann::json snappedJson(int handle);
std::string snappedWords(int handle);

// The record and argument the last call used: `record` and `argument` as
// asked, with the field snap changed set to the value it took (what the
// measurements compare with).
void applySnap(int handle, const KindTable& kind, std::vector<unsigned char>& record, int& argument);

// The handle's settings for the options of `kind` (every kind's without
// one), by their keys: choices by name, flags as booleans.
nlohmann::json loopSettings(int handle, const KindTable* kind);

// gensignal:loop: the settings, the loop the last call made (periods,
// samples_per_period, duration, whole_periods) and what snap changed.
nlohmann::json loopMetadata(int handle, const KindTable& kind);

// The samples and natural periods of the last call's buffer, where markers
// find its periods.
LoopPeriods loopPeriods(int handle);
