// The taps a fading record asks for, in samples at the buffer's rate and
// normalised to a total mean power of 1: each tap a diffuse (Rayleigh) part
// and a line-of-sight (specular) part, either possibly 0. A profile's
// line-of-sight row joins the Rayleigh row at its delay (TDL-D, TDL-E); a
// Rician tap of power P and factor K splits into P K / (K + 1) specular and
// P / (K + 1) diffuse.
#pragma once

#include "wrapperGenSignalWave.h"

constexpr int kMaxDelayLineTaps = 48;

struct DelayLineTap {
    double delay;  // samples, at least 0
    double diffusePower;
    double specularPower;
};

struct DelayLine {
    DelayLineTap taps[kMaxDelayLineTaps];
    int count = 0;
};

// The record's (checked) fading at `sampleRate`; count 0 when fading is off.
DelayLine delayLineOf(const GenSignalChannel& channel, double sampleRate);

// 10^(dB / 10).
double powerFromDb(double db);
