// OFDM frame: PN data on the used subcarriers of a centred layout, one
// inverse FFT per symbol, a cyclic prefix, and an optional raised-cosine
// cross-fade that also wraps from the last symbol to the first. One sample
// per inverse-FFT point whatever the rate (the rate is only the loop's), so
// the frame is whole samples by construction and the exact loop mode returns
// it as it is.
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"
#include "generatedWave.h"
#include "kindUnit.h"
#include "wrapperGenSignalWave.h"

struct OfdmPlan {
    int32_t type;
    int bitsPerPoint;  // k
    int fftSize;       // N, a power of two
    int symbols;       // S
    int guardLow;
    bool nullDC;
    bool windowing;
    int used;     // U subcarriers per symbol; 0 gives an empty frame
    int prefix;   // P, 0 ... N
    int samples;  // S * (N + P)
    int points;   // U * S
    int bits;     // k * U * S
};

// 0 with `plan` filled, or -1 with the reason of the first rule broken.
int planOfdm(const OFDMParams& p, OfdmPlan& plan);

// The frame's data, as the generator and the reference that EVM compares
// with take it (a plan with used subcarriers): the used positions from
// guardLow up (over the centre when it stays empty), the data symbols of
// every slot, and the point of each symbol value in `table` (256 entries),
// of unit average power. 0, or -3 with the reason.
int ofdmFrameData(const OfdmPlan& plan, Buffer<int>& positions, Buffer<short>& symbols, std::complex<float>* table);

using OfdmKind = KindUnit<OFDMParams, OfdmPlan, std::complex<float>>;
template <>
inline const char* const OfdmKind::kEntryPoint = "GenerateOFDMWaveform";
