// A waveform read back from a file for measurement: SigMF (ci16_le or
// cf32_le, either file of the pair or their base name), raw int16 I/Q
// (.raw), raw complex float (.cf32, 1.0 = 32767), a two-channel 16-bit
// WAV, the tagged instrument file (.wv) or big-endian I/Q (.iqbin, with
// NAME.marker when there is one); with the gensignal record the SigMF metadata carries, if any (its
// enumerations by name or number), and of a recording that holds its
// buffer several times over (gensignal:repeat) the buffer once, and the
// channel it went through (gensignal:channel).
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "kinds.h"
#include "markers.h"
#include "wrapperGenSignalWave.h"

struct StoredWaveform {
    std::string dataPath;  // the file the samples came from
    std::vector<int16_t> ci16;
    std::vector<float> cf32;
    bool floats = false;
    double sampleRate = 0;
    bool rateInFile = false;          // SigMF, WAV and .wv state their rate
    std::vector<MarkerLine> markers;  // of .wv and .iqbin files
    const KindTable* kind = nullptr;  // the record's kind, when the metadata has one
    std::vector<unsigned char> record;
    int argument = 0;
    nlohmann::json global;  // a SigMF recording's global object (null for other formats)
    // The channel the recording went through (gensignal:channel), as its
    // settings make it, and whether the noise kind drew from it: what a
    // regenerated waveform sets on its handle.
    bool hasChannel = false;
    bool channelInGeneration = false;  // "stage": "generation": set on the handle, not applied after
    GenSignalChannel channel{};
    bool noiseFromChannel = false;
    std::string channelProblem;  // why a gensignal:channel could not be read back ("" when none)

    int64_t values() const { return floats ? static_cast<int64_t>(cf32.size()) : static_cast<int64_t>(ci16.size()); }
    const void* samples() const {
        return floats ? static_cast<const void*>(cf32.data()) : static_cast<const void*>(ci16.data());
    }
};

// True with `out` filled, or false with a message that names the file and
// the fault. `sampleRate` (0: none given) is the rate of raw and cf32 files.
bool readStoredWaveform(const std::string& name, double sampleRate, StoredWaveform& out, std::string& error);
