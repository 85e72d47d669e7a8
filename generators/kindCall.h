// What a kind's generator learns of a call beyond its record: the sample
// rate, the entry point's extra argument, and the handle's settings that
// shape a waveform. Their defaults give every waveform as it is defined.
#pragma once

#include <cstdint>

#include "tonePhases.h"

enum class LoopMode : int { defined = 0, exact = 1 };

// Where the noise kind draws its Gaussian values: rand() through the polar
// method as defined, or the counter-based generator under the channel seed.
enum class NoiseSource : int { defined = 0, channel = 1 };

struct WaveSettings {
    LoopMode loop = LoopMode::defined;
    TonePhases phases = TonePhases::zero;  // the multitone's starting phases
    uint32_t phaseSeed = 0;
    NoiseSource noise = NoiseSource::defined;
    uint64_t noiseSeed = 0;    // the handle's channel seed
    uint32_t noiseStream = 0;  // a scene's part index: its parts draw apart
};

struct KindCall {
    double sampleRate = 0;
    int extra = 0;  // symbolCount, bitCount; 0 for the kinds without one
    WaveSettings settings;

    bool exact() const { return settings.loop == LoopMode::exact; }
};

// What a generator says of the loop it made: the natural periods it holds
// and, in the defined mode, whether the buffer repeated end to end is the
// waveform continued (the defined construction of some kinds leaves a seam:
// a resampler or filter that does not wrap, an FSK phase that runs on).
struct MadeLoop {
    int64_t periods = 1;
    const char* seam = nullptr;  // null when the seam is closed, else why not
};
