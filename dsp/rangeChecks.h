// The range rules every plan applies to the values it is handed and the
// counts it derives, and the refusals worded the same way wherever a rule
// is broken.
#pragma once

#include <cstdint>

#include "lastError.h"

// True for a finite value above 0; false for NaN, infinities, 0 and below.
inline bool finitePositive(double x) { return x > 0 && x <= 1.7976931348623157e308; }

// The largest sample count a waveform may have: the frame hands out 2n
// int16 values as an int, so n must stay below 2^30.
constexpr int kMaxSamples = 1 << 30;

// True when a derived count (computed in double) is finite, not negative and
// below kMaxSamples, so that it converts to int and doubles without overflow.
inline bool countFits(double v) { return v >= 0.0 && v < static_cast<double>(kMaxSamples); }

// True when a > 0 and b > 0 and a * b stays below kMaxSamples.
inline bool productFits(int64_t a, int64_t b) { return a > 0 && b > 0 && a <= kMaxSamples / b && a * b < kMaxSamples; }

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
