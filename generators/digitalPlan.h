// Everything the digital modulation generator derives from its record,
// checked once before any work is done.
#pragma once

#include "filterDesign.h"
#include "genSignalClass.h"
#include "wrapperGenSignalWave.h"

struct DigitalPlan {
    DigitalModulType modType;
    bool fsk;
    int M;  // alphabet size
    int k;  // bits per symbol
    int pnOrder, pnSeed;
    PulseShape shape;  // shape.span is the cyclic extension S
    int sps;
    int N;           // symbols in one period
    int n;           // N + S symbols mapped
    int symbolRoom;  // n, one more for the FSK kinds' even count
    int tapCount;
    // Samples at the symbol-locked rate: those of the zero-stuffed train
    // (sps per symbol, the FSK kinds' count made even) less tapCount - 1.
    int shapedLength;
    double symbolRate, freqDeviation, sampleRate;
    double symbolLockedRate;  // R = sps * symbolRate
    bool resample;            // R differs from the sample rate by more than 1e-6 (always for FSK)
    int outputLength;         // samples handed out
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planDigital(GenSignalClass& dsp, DigitalModParams const& params, double sampleRate, int symbolCount,
                DigitalPlan* plan);
