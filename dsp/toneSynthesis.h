// Unit tones synthesised straight at the output rate, each a whole number
// of cycles in the buffer, so the buffer loops without a seam and holds
// nothing but its tones (to float rounding):
//   y[m] = sum over k of e^(i (2 pi c_k m / M + phi_k)),  m < M.
// The tones lie symmetrically about 0 Hz (c_(N-1-k) = -c_k, a lone middle
// tone at 0), so they go in pairs that share one table row. The buffer goes
// in blocks of B samples: y[m0 + u] = sum over k of s_k E_k[u], with
// s_k = e^(i (2 pi c_k m0 / M + phi_k)) per block and E_k[u] =
// e^(2 pi i c_k u / M) tabulated once, both from exact integer angles
// (each root the product of two from sincos, in double); the pairs are
// summed in ascending |c| as toneSynthesisKernels.h states. The
// same bits with either kernel variant and any thread count.
#pragma once

#include <complex>
#include <cstdint>

struct ToneSet {
    const int64_t* cycles;  // c_k ascending, whole cycles in the buffer, symmetric about 0
    const double* phases;   // phi_k, radians
    int count;              // N >= 1
    int64_t samples;        // M >= 1
};

// Writes the M samples to `out`: 0, -3 with the reason when the tables
// cannot be had, -1 when the cycles are not symmetric.
int synthesizeTones(const ToneSet& tones, std::complex<float>* out);
