// Refusals that every generator's first stage words the same way.
#pragma once

#include "function.h"
#include "lastError.h"

// The host's sample rate: finite and above 0.
inline int checkSampleRate(double sampleRate) {
    if (finitePositive(sampleRate)) return 0;
    return refuse(-1, "sampleRate = %s: must be finite and above 0", numberText(sampleRate).text);
}

// A waveform of `samples` samples, as computed in double (possibly huge or
// not finite), is too long to hand out.
inline int refuseLength(double samples) {
    return refuse(-1, "result of %s samples: must be finite and below 2^30", numberText(samples).text);
}

// A generator method called with a null pointer.
inline int refuseNull(const char* method, const char* argument) {
    return refuse(-1, "%s: %s is a null pointer", method, argument);
}
