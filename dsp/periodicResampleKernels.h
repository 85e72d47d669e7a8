// The inner loop of the periodic resampler (periodicResampler.h) over a run
// of outputs: each output is the dot product of a stretch of complex input
// with a row of real coefficients. Float i of the stretch (tap i / 2) is
// multiplied by its tap's coefficient, rounded to float, and added to lane
// i % 32 of 32 float lanes; the lanes are folded in a fixed tree: lane l +
// lane l + 16, then + 8, + 4, + 2, leaving the real part in lane 0 and the
// imaginary part in lane 1. The generic and AVX2 versions do exactly these
// operations, a multiply and an add apart, so their bits agree.
//
// A row holds its taps in groups of 16, each group in the order
// 0 1 4 5 2 3 6 7, 8 9 12 13 10 11 14 15: an in-lane unpack of eight of them
// with themselves then yields four taps, each twice, in tap order.
#pragma once

#include <cstdint>

namespace periodic {

// Floats of input per round: 16 complex taps.
constexpr int kLanes = 32;
// Taps per row come in multiples of this.
constexpr int kTapGroup = 16;

// Where tap j of a group of 16 is stored.
constexpr int storedAt(int j) { return (j & ~6) | ((j & 2) << 1) | ((j & 4) >> 1); }

struct KernelRun {
    const float* window;  // interleaved complex input
    int64_t base;         // window index (complex samples) of the first output's first tap
    int64_t phase;        // r: that output sits at fraction r / q of an input sample
    int64_t stepWhole;    // p / q: whole input samples per output
    int64_t stepPhase;    // p % q
    int64_t q;
    int rowTaps;  // coefficients per row, a multiple of kTapGroup
    // Exact rows: row r for phase r (q rows). Interpolated rows (when
    // `difference` is set): phase r lies at u = r * rowsPerPhase, between
    // rows floor(u) and floor(u) + 1; each coefficient is
    // row[s][i] + f * difference[s][i], f = u - s rounded to float.
    const float* rows;
    const float* difference;
    double rowsPerPhase;
    int64_t lastRow;  // interpolated: the last row that starts an interval
    int64_t count;    // outputs
    float* out;       // interleaved complex, count values
};

void resampleRun(const KernelRun& run);

namespace generic {
void resampleRun(const KernelRun& run);
}
namespace avx2 {
void resampleRun(const KernelRun& run);
}

}  // namespace periodic
