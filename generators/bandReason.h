// The words of the Nyquist rule: each kind says whether its record reaches
// above half the sample rate, with the reason in the words of its field. The
// same reason is the note a call in the defined mode leaves (wavegen prints
// it, Python warns) and the refusal in the exact mode.
#pragma once

struct BandReason {
    char text[256];
};

// Sets the reason (printf-style) and answers true.
bool say(BandReason& why, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A frequency (magnitude) at or above half the sample rate: a tone at
// exactly half of it cannot be told from its mirror.
bool toneAbove(double f, double half);

// The band edge of a pulse-shaped stream of `rate` symbols or chips per
// second, and its words: (1 + roll-off) rate / 2 for the raised-cosine
// pulses, the rate (the first null) for the rectangle, 1.5 rate (the first
// null) for the half-sine, 2.58 BT rate (20 dB down) for the Gaussian pulse;
// 0 for an unknown filter (refused elsewhere).
double pulseEdge(int filterType, double rolloff, double rate, const char** name);
