// The OFDM generator's frame: every symbol's subcarriers from a point table,
// the centre position moved to bin 0, the inverse FFT, the cyclic prefix and
// the optional cross-fade, with the bits of ofdmmodForC over my_ifft and the
// generator's cross-fade, but several symbols at a time, one per SIMD lane,
// and symbols on every thread.
//
// What makes it the same: the twiddles of each stage are carried once per
// frame by the same products in the same order as my_ifft carries them; each
// lane does the float operations my_ifft does on its symbol; and dividing by
// n, a power of two, equals multiplying by its reciprocal, which is exact.
#pragma once

#include <complex>
#include <cstdint>

struct OfdmFrameLayout {
    int fftSize;           // N, a power of two
    int prefix;            // P, 0 ... N
    int symbols;           // S
    int used;              // U subcarriers per symbol
    const int* positions;  // U positions in 0 ... N-1, centred numbering
    bool crossFade;        // fade each symbol's end into the next one's prefix
};

// out: S * (N + P) samples. Point c of symbol s is table[data[s * U + c]].
// Returns 0, or -3 with the reason recorded when the working memory cannot
// be had (out then untouched).
int buildOfdmFrame(const OfdmFrameLayout& layout, const std::complex<float>* table, const short* data,
                   std::complex<float>* out);
