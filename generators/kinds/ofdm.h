// OFDM frame: PN data on the used subcarriers of a centred layout, one
// inverse FFT per symbol, a cyclic prefix, and an optional raised-cosine
// cross-fade that also wraps from the last symbol to the first. One sample
// per inverse-FFT point whatever the rate (the rate is only the loop's), so
// the frame is whole samples by construction and the exact loop mode returns
// it as it is.
#pragma once

#include <complex>
#include <cstdint>

#include "bandReason.h"
#include "buffer.h"
#include "generatedWave.h"
#include "kindCall.h"
#include "naturalPeriod.h"
#include "wrapperGenSignalWave.h"

class GenSignalClass;

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

struct OfdmKind {
    using Params = OFDMParams;
    using Plan = OfdmPlan;
    using Sample = std::complex<float>;
    static constexpr const char* kEntryPoint = "GenerateOFDMWaveform";

    static int plan(const Params& p, const KindCall& call, Plan& plan);
    static NaturalPeriod period(const Params& p, const KindCall& call);
    // An OFDM frame fills the band by construction: never above.
    static bool aboveNyquist(const Params&, double, BandReason&) { return false; }
    static int generate(GenSignalClass& obj, const Plan& plan, const KindCall& call, GeneratedWave<Sample>& wave,
                        MadeLoop& made);
    static int loop(GenSignalClass& obj, const Params& p, const Plan& plan, const KindCall& call,
                    const NaturalPeriod& period, GeneratedWave<Sample>& wave, MadeLoop& made);
};
