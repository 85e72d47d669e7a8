// What a generator object keeps beside its I/Q buffer: the opt-in settings a
// host made with GenSignalSetOption (their defaults leave every output as
// it always was), and what the last successful generation call made: its
// loop, the note it left and what a snap changed. The options are declared
// once, in the table of handleOptions.cpp, which also describes them to
// hosts (GenSignalListOptions).
#pragma once

#include <cstdint>

#include "kindCall.h"
#include "loopLength.h"
#include "tonePhases.h"
#include "wrapperGenSignalWave.h"

static_assert(static_cast<int>(LoopMode::exact) == GENSIGNAL_LOOP_EXACT, "the header's loop modes");

constexpr int kLastOption = GENSIGNAL_OPTION_NOISE_SOURCE;

struct HandleOptions {
    HandleOptions();
    double value[kLastOption + 1];  // by option number; [0] unused

    // The peak magnitude the frame scales to: 32766 at 0 dBFS.
    double fullScale() const;
    // What the generators read of them.
    WaveSettings wave() const;
    bool snap() const { return value[GENSIGNAL_OPTION_SNAP] != 0; }
    // The lengths a player takes, for a call at `sampleRate` (the minimum
    // loop duration counts as the samples it lasts).
    HardwareLengths lengths(double sampleRate) const;
};

// 0 with the option set, or -1 with the reason (an unknown option, a value
// out of its range); `options` is untouched on refusal.
int setOption(HandleOptions& options, int option, double value);
int getOption(const HandleOptions& options, int option, double* value);

// The table's descriptions (GenSignalListOptions).
int listOptions(GenSignalOptionInfo* infos, int capacity);

// The option's name as the header spells it, for refusals.
const char* optionName(int option);

constexpr int kNoteCapacity = 512;

struct LastCall {
    GenSignalLoopInfo loop{};
    char note[kNoteCapacity] = {};
    int noteLength = 0;
    GenSignalSnap snap{};

    // Records a note (printf-style), truncated to the capacity.
    void setNote(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// The channel a host set on the handle (GenSignalSetChannel) and what it
// did in the last successful call that applied it.
struct HandleChannel {
    bool set = false;
    GenSignalChannel record{};
    bool realisedValid = false;
    GenSignalChannelRealised realised{};

    // The seed of every channel draw, the noise kind's too: 0 with none set.
    uint64_t seed() const { return set ? record.seed : 0; }
};

struct HandleState {
    HandleOptions options;
    LastCall last;
    HandleChannel channel;
};
