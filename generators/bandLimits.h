// Whether a record reaches above half the sample rate, with the reason in
// the words of its field: one rule per kind, serving both the note a call
// in the defined mode leaves (wavegen prints it, Python warns) and the
// refusal in the exact mode.
//
// What each kind occupies: the tones of a multitone, the steps of a stepped
// sweep, AM's and FM's modulating frequency and FM's deviation must lie
// below half the sample rate (a tone at exactly half of it cannot be told
// from its mirror); the band edges must not pass it: (1 + roll-off) Rs / 2
// for the raised-cosine pulses, Rs (the first null) for the rectangle,
// 1.5 Rs (the first null) for the half-sine, 2.58 BT Rs (20 dB down) for the
// Gaussian pulse, the deviation plus Rs / 2 for FSK, with Rs the symbol or
// chip rate; half the swept bandwidth for the ramp; for noise, a bandwidth
// above half the sample rate acts as half of it. Pulse trains and OFDM
// frames are not checked: a rectangle has no band edge, and an OFDM frame
// fills the band by construction.
#pragma once

#include "wrapperGenSignalWave.h"

struct BandReason {
    char text[256];
};

// True, with the reason, when the record reaches above half the sample
// rate; false when it does not, or when its fields or the rate are not
// usable (the generator refuses those on its own).
bool aboveNyquist(const DigitalModParams& p, double sampleRate, BandReason& why);
bool aboveNyquist(const DSSParams& p, double sampleRate, BandReason& why);
bool aboveNyquist(const AMModParams& p, double sampleRate, BandReason& why);
bool aboveNyquist(const FMModParams& p, double sampleRate, BandReason& why);
bool aboveNyquist(const MultitoneParams& p, double sampleRate, BandReason& why);
bool aboveNyquist(const PulseParams& p, double sampleRate, BandReason& why);
bool aboveNyquist(const StepSweepParams& p, double sampleRate, BandReason& why);
bool aboveNyquist(const RampSweepParams& p, double sampleRate, BandReason& why);
bool aboveNyquist(const AWGNParams& p, double sampleRate, BandReason& why);
bool aboveNyquist(const OFDMParams& p, double sampleRate, BandReason& why);
