// Passes over a buffer in fixed blocks of samples: each block is worked by
// one thread, whichever, and a sum over the buffer is the sum of the blocks'
// sums taken in block order, so no result depends on the team's size.
#pragma once

#include <algorithm>
#include <complex>
#include <cstdint>

constexpr int64_t kPassBlock = 4096;

inline int64_t passBlocks(int64_t n) { return (n + kPassBlock - 1) / kPassBlock; }

// body(first, last, block) for every block of [0, n), on `team` threads.
template <class Body>
void forEachBlock(int64_t n, int team, Body body) {
    const int64_t blocks = passBlocks(n);
#pragma omp parallel for schedule(static) num_threads(team) if (team > 1)
    for (int64_t b = 0; b < blocks; ++b) body(b * kPassBlock, std::min(n, (b + 1) * kPassBlock), b);
}

// partial[0] + partial[1] + ... in that order.
inline double sumInOrder(const double* partial, int64_t count) {
    double sum = 0;
    for (int64_t b = 0; b < count; ++b) sum += partial[b];
    return sum;
}

// The mean of |x|^2 over n > 0 samples: each value squared exactly in
// double and summed into one of 16 running sums by its position in the
// block (value i of a block into sum i mod 16), the 16 then added in order;
// `partial` holds passBlocks(n) doubles.
inline double meanPower(const std::complex<float>* x, int64_t n, int team, double* partial) {
    constexpr int kLanes = 16;
    const float* v = reinterpret_cast<const float*>(x);
    forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t b) {
        double lane[kLanes] = {};
        const int64_t values = 2 * (last - first);
        const float* p = v + 2 * first;
        int64_t i = 0;
        for (; i + kLanes <= values; i += kLanes)
            for (int j = 0; j < kLanes; ++j) lane[j] += static_cast<double>(p[i + j]) * p[i + j];
        for (int j = 0; i < values; ++i, ++j) lane[j] += static_cast<double>(p[i]) * p[i];
        double s = 0;
        for (int j = 0; j < kLanes; ++j) s += lane[j];
        partial[b] = s;
    });
    return sumInOrder(partial, passBlocks(n)) / static_cast<double>(n);
}

// The rails of x into re[0, n) and im[0, n).
inline void splitRails(const std::complex<float>* x, int64_t n, int team, float* re, float* im) {
    forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t) {
        for (int64_t i = first; i < last; ++i) {
            re[i] = x[i].real();
            im[i] = x[i].imag();
        }
    });
}
