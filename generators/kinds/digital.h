// Digital modulation: PN bits, extended cyclically by one filter span,
// packed into symbols, mapped to one point per symbol, pulse shaped as the
// zero-stuffed train of those points and resampled to the sample rate; the
// FSK kinds hand symbols and taps to the FSK modulator instead. The result
// is one loopable period. In the exact loop mode one period is the defined
// shaping of the same symbols at the symbol-locked rate, resampled as a
// periodic signal to the fewest periods that span whole samples (FSK: its
// frequency pulse, and as many periods as bring the phase back).
#pragma once

#include <complex>

#include "buffer.h"
#include "filterDesign.h"
#include "generatedWave.h"
#include "kindUnit.h"
#include "wrapperGenSignalWave.h"

// Everything the generator derives from its record, checked once before any
// work is done.
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
int planDigital(DigitalModParams const& params, double sampleRate, int symbolCount, DigitalPlan* plan);

// The stages the defined generator, the exact loop and the reference that
// EVM compares with all take: the record's N + S symbols (with the FSK
// kinds' spare element), the designed taps and, for every kind but FSK, the
// N + S points, the last S repeating the first S. 0, or -3 with the reason.
int digitalPeriodParts(const DigitalPlan& plan, Buffer<short>& symbols, Buffer<std::complex<float>>& points,
                       Buffer<float>& taps);

// The exact loop of a plan (digitalLoop.cpp).
int digitalLoop(const DigitalModParams& p, const DigitalPlan& plan, double sampleRate, const NaturalPeriod& period,
                GeneratedWave<std::complex<float>>& wave, MadeLoop& made);

using DigitalKind = KindUnit<DigitalModParams, DigitalPlan, std::complex<float>>;
template <>
inline const char* const DigitalKind::kEntryPoint = "GenerateDigitalModWaveform";
