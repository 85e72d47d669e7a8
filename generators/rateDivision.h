// How far the digital and spread-spectrum generators may resample down.
#pragma once

// A sample rate below 1/kMaxRateDivision of the symbol- or chip-locked rate
// would keep too little of the shaped signal to be the waveform asked for
// (an alias of it), from symbols or chips that far outnumber the samples.
constexpr int kMaxRateDivision = 1024;

inline bool rateDivisionFits(double outRate, double inRate) { return outRate * kMaxRateDivision >= inRate; }
