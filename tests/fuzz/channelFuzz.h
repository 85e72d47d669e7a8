// The channel's fuzz harness, shared by its two targets: the buffer entry
// point (channelEntryPoint.cpp) and wavegen's reader of hostile files
// feeding it (impairFile.cpp).
#pragma once

#include "fuzzInput.h"
#include "wrapperGenSignalWave.h"

namespace fuzzing {

// A channel record from the input, for a buffer at `sampleRate`.
GenSignalChannel decodeChannel(FuzzInput& in, double sampleRate);

// GenSignalApplyChannel on a fresh handle whose settings the input picks,
// every promise checked (a broken one aborts with what broke).
void checkApplyChannel(FuzzInput& in, const GenSignalChannel& channel, const GenSignalMeasureInput& input);

}  // namespace fuzzing
