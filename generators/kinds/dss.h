// Direct-sequence spread spectrum: PN data bits, each spread by one full
// period of a maximal-length code, BPSK chips extended cyclically by one
// filter span, pulse-shaped at a chip-locked rate and resampled to the
// host's. In the exact loop mode one period of the shaped chips is
// resampled as a periodic signal to the fewest periods that span whole
// samples.
#pragma once

#include <complex>

#include "buffer.h"
#include "filterDesign.h"
#include "generatedWave.h"
#include "kindUnit.h"
#include "wrapperGenSignalWave.h"

// Everything the generator derives from its record, checked once before any
// work is done.
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

// The S + Nc chip points, the last S repeating the first S, and the taps,
// as the defined generator, the exact loop and the reference that EVM
// compares with take them: 0, or -3 with the reason.
int dssPeriodParts(const DssPlan& plan, Buffer<std::complex<float>>& points, Buffer<float>& taps);

using DssKind = KindUnit<DSSParams, DssPlan, std::complex<float>>;
template <>
inline const char* const DssKind::kEntryPoint = "GenerateDssWaveform";
