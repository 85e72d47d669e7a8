// Refusals that every generator's first stage words the same way.
#pragma once

#include <cmath>
#include <cstdio>

#include "function.h"
#include "lastError.h"

// The host's sample rate: finite and above 0.
inline int checkSampleRate(double sampleRate) {
    if (finitePositive(sampleRate)) return 0;
    return refuse(-1, "sampleRate = %s: must be finite and above 0", numberText(sampleRate).text);
}

// A count of samples computed in double, written out in full ("1879048185",
// not "1.879048185e+09") unless it is huge or not finite.
inline NumberText countText(double samples) {
    if (!(std::fabs(samples) < 1e18)) return numberText(samples);
    NumberText t;
    std::snprintf(t.text, sizeof t.text, "%.0f", samples);
    return t;
}

// A waveform of `samples` samples, as computed in double (possibly huge or
// infinite), is too long to hand out.
inline int refuseLength(double samples) {
    return refuse(-1, "result of %s samples: must be below 2^30", countText(samples).text);
}

// A generator method called with a null pointer.
inline int refuseNull(const char* method, const char* argument) {
    return refuse(-1, "%s: %s is a null pointer", method, argument);
}
