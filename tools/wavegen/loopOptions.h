// wavegen's opt-in settings: --loop, --tone-phases, --phase-seed (multitone)
// and --peak-dbfs, handed to the generator object before the call; after
// it, the loop the call made, for the summary and the SigMF metadata, and
// the note a defined call leaves.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "kinds.h"
#include "markers.h"
#include "wrapperGenSignalWave.h"

struct LoopOptions {
    std::string loop = "defined";
    std::string tonePhases = "zero";
    uint32_t phaseSeed = 0;
    double peakDbfs = 0;
};

// --loop and --peak-dbfs on every subcommand; --tone-phases and
// --phase-seed where `tones` (the multitone).
void addLoopOptions(CLI::App* command, LoopOptions& options, bool tones);

// Sets every option on the handle (defaults included); empty on success,
// else the library's reason in wavegen's words.
std::string applyLoopOptions(int handle, const LoopOptions& options);

// The note of the last call on the handle in wavegen's words, empty when
// it left none.
std::string loopNote(int handle, const KindTable& kind);

// The loop of the last call and the settings it was made with, as the
// SigMF metadata records it ("gensignal:loop": mode, peak_dbfs, for the
// multitone tone_phases and phase_seed; periods, samples_per_period,
// duration, whole_periods).
nlohmann::json loopMetadata(int handle, const LoopOptions& options, bool tones);

// The samples and natural periods of the last call's buffer, where markers
// find its periods.
LoopPeriods loopPeriods(int handle);
