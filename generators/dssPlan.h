// Everything the spread-spectrum generator derives from its record,
// checked once before any work is done.
#pragma once

#include "filterDesign.h"
#include "wrapperGenSignalWave.h"

struct DssPlan {
    int bitCount;
    int pnOrder, pnSeed;
    PulseShape shape;  // shape.span is the cyclic extension S
    int sps;           // samples per chip
    int chipsPerBit;   // one code period, 2^pnOrder - 1
    int chipCount;     // Nc = bitCount * chipsPerBit
    int symbolCount;   // S + Nc chips mapped
    int tapCount;
    int shapedLength;  // T - tapCount + 1, with T = (S + Nc) * sps the chip-rate train
    double sampleRate;
    double chipLockedRate;  // R = sps * bitRate * chipsPerBit
    bool resample;          // R differs from the sample rate by more than 1e-9
    int outputLength;       // samples handed out
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planDss(DSSParams const& params, double sampleRate, int bitCount, DssPlan* plan);
