#include "ofdmFrame.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "blockPipeline.h"
#include "buffer.h"
#include "cpuDispatch.h"
#include "lastError.h"
#include "mathConstants.h"
#include "shareClaims.h"
#include "threadRows.h"

namespace {

constexpr int kLanes = 8;                // symbols per transform up to kLaneMaxSize points
constexpr int kLaneMaxSize = 4096;       // beyond, one symbol at a time: the lanes would leave the cache
constexpr int64_t kPerThread = 1 << 15;  // fewer samples per thread stay on one thread

// (ac - bd, ad + bc) in float, as my_ifft multiplies.
inline std::complex<float> mulPlain(std::complex<float> x, std::complex<float> y) {
    const float a = x.real(), b = x.imag(), c = y.real(), d = y.imag();
    return {a * c - b * d, a * d + b * c};
}

// The inverse FFT's constants for one frame: each stage's twiddles, stage
// of half-length h at [h - 1, 2h - 1), carried as my_ifft carries them; and
// for each bin the index it holds after the half exchange and the
// bit-reversal permutation.
struct Transform {
    int n;
    Buffer<float> twRe, twIm;
    Buffer<int> binOf;  // binOf[p]: where position p ends up

    explicit Transform(int size) : n(size), twRe(size), twIm(size), binOf(size) {
        if (!*this) return;
        for (int len = 2; len <= n; len *= 2) {
            // The step angle passes through float on both sides, as in my_ifft.
            const float theta = static_cast<float>(kTwoPi / static_cast<double>(static_cast<float>(len)));
            const std::complex<float> step(std::cos(theta), std::sin(theta));
            const int half = len / 2;
            std::complex<float> w(1.0f, 0.0f);
            for (int k = 0; k < half; ++k) {
                twRe[half - 1 + k] = w.real();
                twIm[half - 1 + k] = w.imag();
                w = mulPlain(w, step);
            }
            if (len == n) break;  // n may be 2^30: never form 2n
        }
        // Follow the positions through my_ifft's own exchanges.
        Buffer<int> at(static_cast<size_t>(n));
        if (!at) {
            binOf.reset();
            return;
        }
        for (int i = 0; i < n; ++i) at[i] = i;
        const int h = n / 2;
        for (int k = 0; k < h; ++k) std::swap(at[k], at[k + h]);
        int j = 0;
        for (int i = 1; i < n - 1; ++i) {
            int bit = n >> 1;
            while (j >= bit) {
                j -= bit;
                bit >>= 1;
            }
            j += bit;
            if (i < j) std::swap(at[i], at[j]);
        }
        for (int i = 0; i < n; ++i) binOf[at[i]] = i;
    }
    explicit operator bool() const { return twRe && twIm && binOf; }
};

// Eight floats, one per symbol; each operation acts lane by lane with the
// rounding of the scalar one (and nothing is contracted into an fma).
typedef float Lanes8 __attribute__((vector_size(32), aligned(4)));

template <int L>
struct LaneType {
    using type = float;
};
template <>
struct LaneType<8> {
    using type = Lanes8;
};

// The butterflies of my_ifft on L symbols at once: row i of re and im holds
// bin i of each symbol, lane by lane.
template <int L>
__attribute__((always_inline)) inline void transformLanes(float* re, float* im, const Transform& tf) {
    using V = typename LaneType<L>::type;
    const int n = tf.n;
    for (int half = 1; half < n; half *= 2) {
        const float* wr = tf.twRe.get() + (half - 1);
        const float* wi = tf.twIm.get() + (half - 1);
        for (int b = 0; b < n; b += 2 * half) {
            for (int k = 0; k < half; ++k) {
                float* lr = re + static_cast<size_t>(b + k) * L;
                float* li = im + static_cast<size_t>(b + k) * L;
                float* hr = lr + static_cast<size_t>(half) * L;
                float* hi = li + static_cast<size_t>(half) * L;
                const float c = wr[k], d = wi[k];
                V xr, xi, ur, ui;
                std::memcpy(&xr, hr, sizeof(V));
                std::memcpy(&xi, hi, sizeof(V));
                std::memcpy(&ur, lr, sizeof(V));
                std::memcpy(&ui, li, sizeof(V));
                const V tr = xr * c - xi * d;
                const V ti = xr * d + xi * c;
                const V outs[4] = {ur + tr, ui + ti, ur - tr, ui - ti};
                std::memcpy(lr, &outs[0], sizeof(V));
                std::memcpy(li, &outs[1], sizeof(V));
                std::memcpy(hr, &outs[2], sizeof(V));
                std::memcpy(hi, &outs[3], sizeof(V));
            }
        }
    }
}

// Symbols [s0, s0 + L) (those below S) into their slots. Without the
// cross-fade a slot is the prefix, then the body; with it, the body, then
// the faded end, whose second product (rise times the next symbol's prefix)
// each symbol leaves in the slot before its own, to be completed by
// fadeSlot once every symbol is written.
template <int L>
__attribute__((always_inline)) inline void symbolGroup(const OfdmFrameLayout& f, const Transform& tf,
                                                       const std::complex<float>* table, const short* data,
                                                       const float* rise, int s0, float* re, float* im,
                                                       std::complex<float>* out) {
    const int n = f.fftSize, p = f.prefix, used = f.used;
    const int64_t len = static_cast<int64_t>(n) + p;
    const int lanes = std::min(L, f.symbols - s0);
    std::fill(re, re + static_cast<size_t>(n) * L, 0.0f);
    std::fill(im, im + static_cast<size_t>(n) * L, 0.0f);
    for (int l = 0; l < lanes; ++l) {
        const short* d = data + static_cast<int64_t>(s0 + l) * used;
        for (int c = 0; c < used; ++c) {  // a position listed twice keeps the later point
            const size_t row = static_cast<size_t>(tf.binOf[f.positions[c]]) * L + l;
            re[row] = table[d[c]].real();
            im[row] = table[d[c]].imag();
        }
    }
    transformLanes<L>(re, im, tf);
    const float inv = 1.0f / static_cast<float>(n);
    for (int l = 0; l < lanes; ++l) {
        const int s = s0 + l;
        std::complex<float>* slot = out + s * len;
        auto body = [&](int i) {
            return std::complex<float>(re[static_cast<size_t>(i) * L + l] * inv,
                                       im[static_cast<size_t>(i) * L + l] * inv);
        };
        if (!f.crossFade) {
            for (int i = 0; i < n; ++i) slot[p + i] = body(i);
            for (int j = 0; j < p; ++j) slot[j] = body(n - p + j);
        } else {
            for (int i = 0; i < n; ++i) slot[i] = body(i);
            std::complex<float>* before = out + (s == 0 ? f.symbols - 1 : s - 1) * len + n;
            for (int j = 0; j < p; ++j) {
                const std::complex<float> v = body(n - p + j);
                before[j] = {rise[j] * v.real(), rise[j] * v.imag()};
            }
        }
    }
}

void symbolGroupGeneric(const OfdmFrameLayout& f, const Transform& tf, const std::complex<float>* table,
                        const short* data, const float* rise, int s0, float* re, float* im, std::complex<float>* out,
                        bool lanes) {
    if (lanes)
        symbolGroup<kLanes>(f, tf, table, data, rise, s0, re, im, out);
    else
        symbolGroup<1>(f, tf, table, data, rise, s0, re, im, out);
}

#if GENSIGNAL_AVX2
GENSIGNAL_AVX2_TARGET void symbolGroupAvx2(const OfdmFrameLayout& f, const Transform& tf,
                                           const std::complex<float>* table, const short* data, const float* rise,
                                           int s0, float* re, float* im, std::complex<float>* out, bool lanes) {
    if (lanes)
        symbolGroup<kLanes>(f, tf, table, data, rise, s0, re, im, out);
    else
        symbolGroup<1>(f, tf, table, data, rise, s0, re, im, out);
}
#endif

// The faded end of a slot: fall times the body's start, fused onto the
// rise product already there.
inline void fadeSlot(std::complex<float>* slot, int n, int p, const float* fall) {
    for (int j = 0; j < p; ++j) {
        const std::complex<float> head = slot[j], part = slot[n + j];
        slot[n + j] = {std::fma(fall[j], head.real(), part.real()), std::fma(fall[j], head.imag(), part.imag())};
    }
}

}  // namespace

int buildOfdmFrame(const OfdmFrameLayout& f, const std::complex<float>* table, const short* data,
                   std::complex<float>* out) {
    const int n = f.fftSize, p = f.prefix;
    const bool lanes = n <= kLaneMaxSize;
    const int width = lanes ? kLanes : 1;
    const int groups = (f.symbols + width - 1) / width;
    const int64_t samples = static_cast<int64_t>(f.symbols) * (static_cast<int64_t>(n) + p);
    const int team = std::min(teamNowFor(samples, kPerThread), groups);

    Transform tf(n);
    if (!tf) return refuse(-3, "out of memory: %zu bytes for the inverse FFT's tables", 16 * static_cast<size_t>(n));
    const size_t rows = 2 * static_cast<size_t>(n) * width;
    const ThreadRows<float> work(rows, team);
    if (!work) return refuse(-3, "out of memory: %zu bytes for the symbols in transform", work.bytes());
    // Raised-cosine window of 2P points: rising half, then falling half.
    Buffer<float> w(f.crossFade ? 2 * static_cast<size_t>(p) : 1);
    if (!w) return refuse(-3, "out of memory: %zu bytes for the cross-fade window", w.bytesFor(2 * p));
    if (f.crossFade) {
        const float denom = static_cast<float>(2 * p - 1);
        for (int i = 0; i < 2 * p; ++i) w[i] = (1.0f - std::cos(static_cast<float>(i) * 6.2831855f / denom)) * 0.5f;
    }
    const float* rise = w.get();
    const float* fall = w.get() + p;
#if GENSIGNAL_AVX2
    const auto group = useAvx2() ? symbolGroupAvx2 : symbolGroupGeneric;
#else
    const auto group = symbolGroupGeneric;
#endif

    // Each thread its own share of the symbols, where the conversion finds
    // them; one that starts late on a busy machine takes fewer of them.
    ShareClaims groupClaims(groups, team), fadeClaims(f.symbols, team);
#pragma omp parallel num_threads(team) if (team > 1)
    {
        const int t = omp_get_thread_num();
        float* re = work.row(t);
        float* im = re + rows / 2;
        for (int64_t g; (g = groupClaims.next(t)) >= 0;)
            group(f, tf, table, data, rise, static_cast<int>(g) * width, re, im, out, lanes);
        if (f.crossFade) {
#pragma omp barrier
            for (int64_t s; (s = fadeClaims.next(t)) >= 0;)
                fadeSlot(out + s * (static_cast<int64_t>(n) + p), n, p, fall);
        }
    }
    return 0;
}
