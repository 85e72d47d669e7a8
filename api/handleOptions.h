// What a generator object keeps beside its I/Q buffer: the opt-in settings a
// host made with GenSignalSetOption (their defaults leave every output as
// it always was), and what the last successful generation call made: its
// loop and the note it left (a record reaching above half the sample rate).
#pragma once

#include <cstdint>

#include "kindCall.h"
#include "tonePhases.h"
#include "wrapperGenSignalWave.h"

static_assert(static_cast<int>(LoopMode::exact) == GENSIGNAL_LOOP_EXACT, "the header's loop modes");

struct HandleOptions {
    LoopMode loop = LoopMode::defined;
    TonePhases phases = TonePhases::zero;
    uint32_t phaseSeed = 0;
    double peakDbfs = 0;

    // The peak magnitude the frame scales to: 32766 at 0 dBFS.
    double fullScale() const;
    // What the generators read of them.
    WaveSettings wave() const { return {loop, phases, phaseSeed}; }
};

// 0 with the option set, or -1 with the reason (an unknown option, a value
// out of its range); `options` is untouched on refusal.
int setOption(HandleOptions& options, int option, double value);
int getOption(const HandleOptions& options, int option, double* value);

constexpr int kNoteCapacity = 512;

struct LastCall {
    GenSignalLoopInfo loop{};
    char note[kNoteCapacity] = {};
    int noteLength = 0;

    // Records a note (printf-style), truncated to the capacity.
    void setNote(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

struct HandleState {
    HandleOptions options;
    LastCall last;
};
