// Radix-2 inverse FFT in single precision and the OFDM symbol modulator
// (centred subcarrier layout, half exchange, cyclic prefix).
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <utility>

#include "genSignalClass.h"
#include "mathConstants.h"
#include "ofdmMod.h"

namespace {

// (ac - bd, ad + bc) in float. For finite operands this is what
// std::complex<float>::operator* yields; spelling it out keeps the NaN
// recovery branch of the compiler's complex multiply out of the inner loop.
inline std::complex<float> mulPlain(std::complex<float> x, std::complex<float> y) {
    const float a = x.real(), b = x.imag(), c = y.real(), d = y.imag();
    return {a * c - b * d, a * d + b * c};
}

// Stages up to this half-length take their twiddles from a table on the
// stack; longer ones carry the twiddle through each block.
constexpr int kTableMax = 1024;

// One block's butterflies: lo[k] +/- hi[k] * w[k], w[k] = (wr[k], wi[k]).
inline void butterflies(std::complex<float>* lo, int half, const float* wr, const float* wi) {
    std::complex<float>* hi = lo + half;
    for (int k = 0; k < half; ++k) {
        const std::complex<float> t = mulPlain(hi[k], {wr[k], wi[k]});
        const std::complex<float> u = lo[k];
        lo[k] = {u.real() + t.real(), u.imag() + t.imag()};
        hi[k] = {u.real() - t.real(), u.imag() - t.imag()};
    }
}

}  // namespace

void my_ifft(std::complex<float>* x, int n) {
    if (n < 1 || (n & (n - 1)) != 0) {
        std::fputs("my_ifft: nfft must be a positive power of 2.\n", stderr);
        return;
    }

    // Bit-reversal permutation, counting j up in reversed bit order.
    int j = 0;
    for (int i = 1; i < n - 1; ++i) {
        int h = n >> 1;
        while (j >= h) {
            j -= h;
            h >>= 1;
        }
        j += h;
        if (i < j) std::swap(x[i], x[j]);
    }
    if (n == 1) return;  // dividing by 1 changes nothing

    float tableRe[kTableMax], tableIm[kTableMax];  // plain floats: no per-call zeroing

    for (int len = 2;; len *= 2) {
        // The step angle passes through float on both sides, so the twiddles
        // (and with them every output bit) depend only on float arithmetic.
        const float theta = static_cast<float>(kTwoPi / static_cast<double>(static_cast<float>(len)));
        const std::complex<float> step(std::cos(theta), std::sin(theta));
        const int half = len / 2;
        if (half <= kTableMax) {
            // Every block of a stage carries the same twiddle sequence: carry
            // it once into a table, then run the blocks in memory order.
            std::complex<float> w(1.0f, 0.0f);
            for (int k = 0; k < half; ++k) {
                tableRe[k] = w.real();
                tableIm[k] = w.imag();
                w = mulPlain(w, step);  // carried, not recomputed
            }
            for (int b = 0; b < n; b += len) butterflies(x + b, half, tableRe, tableIm);
        } else {
            for (int b = 0; b < n; b += len) {
                std::complex<float> w(1.0f, 0.0f);
                std::complex<float>* lo = x + b;
                std::complex<float>* hi = lo + half;
                for (int k = 0; k < half; ++k) {
                    const std::complex<float> t = mulPlain(hi[k], w);
                    const std::complex<float> u = lo[k];
                    lo[k] = {u.real() + t.real(), u.imag() + t.imag()};
                    hi[k] = {u.real() - t.real(), u.imag() - t.imag()};
                    w = mulPlain(w, step);
                }
            }
        }
        if (len >= n) break;  // n may be 2^30: never form 2n
    }

    const float scale = static_cast<float>(n);
    for (int i = 0; i < n; ++i) x[i] = {x[i].real() / scale, x[i].imag() / scale};
}

void GenSignalClass::ofdmmodForC(std::complex<float> const* points, int symbols, int nfft, int cpLen,
                                 int const* positions, int used, std::complex<float>* out, int* outLen) {
    if (outLen) *outLen = 0;
    if (!points || !positions || !out || used <= 0 || symbols <= 0 || nfft <= 0 || cpLen < 0) return;
    // A prefix longer than the body would read before it, a position outside
    // the symbol would write outside it, and the total must fit the count.
    if (cpLen > nfft) return;
    const int64_t symLen = static_cast<int64_t>(nfft) + cpLen;
    if (symLen * symbols > std::numeric_limits<int>::max()) return;
    for (int c = 0; c < used; ++c)
        if (positions[c] < 0 || positions[c] >= nfft) return;

    // Each symbol is assembled in place in the output: the body slot holds the
    // spectrum, is transformed there, and its tail is copied into the prefix.
    const int half = nfft / 2;
    const std::complex<float>* pt = points;
    for (int s = 0; s < symbols; ++s, pt += used) {
        std::complex<float>* sym = out + static_cast<int64_t>(s) * symLen;
        std::complex<float>* body = sym + cpLen;
        for (int i = 0; i < nfft; ++i) body[i] = {0.0f, 0.0f};
        for (int c = 0; c < used; ++c) body[positions[c]] = pt[c];
        for (int k = 0; k < half; ++k) std::swap(body[k], body[k + half]);  // centre position to bin 0
        my_ifft(body, nfft);
        for (int i = 0; i < cpLen; ++i) sym[i] = body[nfft - cpLen + i];
    }
    if (outLen) *outLen = static_cast<int>(symLen * symbols);
}
