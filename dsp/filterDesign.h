// The pulse-shaping filter a generator record asks for, checked once for
// every record that carries one, and the tap count each design yields.
#pragma once

#include <cstdint>

#include "buffer.h"
#include "wrapperGenSignalWave.h"

// Every shaped sample sums about span + 1 symbols, so the span is bounded
// to keep the shaping work linear in the length: a span near the symbol
// count would make it grow with the square.
constexpr int kMaxFilterSpan = 1024;

struct PulseShape {
    FilterType type;
    int span;      // in symbols (chips); 1 for RECT and HALF_SINE, which ignore the record's span
    double param;  // roll-off or BT as the design receives it: rounded to float
};

// Checks filterType, filterSpan (at least 0) and rolloff of a record named
// `record` ("DigitalModParams", "DSSParams"): 0, or -1 with the reason.
int checkPulseShape(const char* record, int filterType, int filterSpan, double rolloff, PulseShape* shape);

// Taps getFilter designs for a valid type (negative for a negative span,
// as the designs compute it).
int64_t designedTapCount(FilterType type, int span, int sps);

// The AWGN generator's low-pass taps for the normalised cut-off `cutoff`
// (at most 0.5): a Hamming window of `count` points times a sinc centred on
// tap count / 2, half a tap after the window's centre. Each sinc value and
// each tap is rounded to float; the taps are handed out widened to double,
// as the noise filter works.
void noiseFilterTaps(double cutoff, int count, double* taps);

// A checked shape's `tapCount` taps into `taps`: 0, or -3 with the reason
// when the array cannot be had.
int designTaps(const PulseShape& shape, int sps, int64_t tapCount, Buffer<float>& taps);
