#include "crestFactor.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "buffer.h"
#include "sharedCores.h"

namespace {

constexpr int64_t kBlock = 65536;

template <class Real>
double power(const std::complex<Real>& v) {
    const double re = v.real(), im = v.imag();
    return re * re + im * im;
}

int64_t blocksOf(int64_t n) { return (n + kBlock - 1) / kBlock; }

// The `keep` largest powers of each fixed block, gathered in block order at
// the front of `tops` (blocks * keep values); returns how many there are.
// The rank-th largest of all is among them, so the ranking needs one pass
// over x and no copy of it. The same pass leaves each block's sum of
// powers in `sums`, as meanPower adds them.
template <class Real>
int64_t blockTops(const std::complex<Real>* x, int64_t n, int64_t keep, double* tops, int64_t* filled, double* sums) {
    const int64_t blocks = blocksOf(n);
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t b = 0; b < blocks; ++b) {
        double* heap = tops + b * keep;  // a min-heap of the block's largest
        int64_t m = 0;
        double sum = 0;
        const int64_t hi = std::min(n, (b + 1) * kBlock);
        for (int64_t i = b * kBlock; i < hi; ++i) {
            const double v = power(x[i]);
            sum += v;
            if (m < keep) {
                heap[m++] = v;
                std::push_heap(heap, heap + m, std::greater<double>());
            } else if (v > heap[0]) {
                std::pop_heap(heap, heap + m, std::greater<double>());
                heap[m - 1] = v;
                std::push_heap(heap, heap + m, std::greater<double>());
            }
        }
        filled[b] = m;
        sums[b] = sum;
    }
    int64_t total = 0;
    for (int64_t b = 0; b < blocks; ++b) {
        std::copy(tops + b * keep, tops + b * keep + filled[b], tops + total);
        total += filled[b];
    }
    return total;
}

template <class Real>
double peakPower(const std::complex<Real>* x, int64_t n, double* partial) {
    const int64_t blocks = blocksOf(n);
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t b = 0; b < blocks; ++b) {
        double m = 0;
        const int64_t hi = std::min(n, (b + 1) * kBlock);
        for (int64_t i = b * kBlock; i < hi; ++i) m = std::max(m, power(x[i]));
        partial[b] = m;
    }
    return *std::max_element(partial, partial + blocks);
}

template <class Real>
double meanOf(const std::complex<Real>* x, int64_t n) {
    if (n < 1) return 0;
    const int64_t blocks = blocksOf(n);
    Buffer<double> partial(static_cast<size_t>(blocks));
    double total = 0;
    if (!partial) {
        for (int64_t i = 0; i < n; ++i) total += power(x[i]);
        return total / static_cast<double>(n);
    }
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t b = 0; b < blocks; ++b) {
        double s = 0;
        const int64_t hi = std::min(n, (b + 1) * kBlock);
        for (int64_t i = b * kBlock; i < hi; ++i) s += power(x[i]);
        partial[b] = s;
    }
    for (int64_t b = 0; b < blocks; ++b) total += partial[b];
    return total / static_cast<double>(n);
}

// The figures of paprFigures; the peak's only when `withPeak` (its pass is
// the callers' in every round of a reduction otherwise).
template <class Real>
PaprFigures rankedPapr(const std::complex<Real>* x, int64_t n, double p, bool withPeak) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    int64_t rank = static_cast<int64_t>(std::floor(p * static_cast<double>(n)));
    if (rank > n - 1) rank = n - 1;
    if (rank < 0) rank = 0;
    const int64_t blocks = blocksOf(n);
    if (rank == 0) {
        const double mean = meanOf(x, n);
        if (!(mean > 0)) return {nan, nan};
        Buffer<double> partial(static_cast<size_t>(blocks));
        if (!partial) return {nan, nan};
        const double peak = 10.0 * std::log10(peakPower(x, n, partial.get()) / mean);  // the peak needs no ranking
        return {peak, peak};
    }
    // Each block's largest when they are few (p small), else all powers.
    const int64_t keep = std::min(rank + 1, kBlock);
    const bool fewTops = keep * blocks <= n / 4;
    Buffer<double> values(static_cast<size_t>(fewTops ? keep * blocks : n));
    Buffer<int64_t> filled(static_cast<size_t>(blocks));
    Buffer<double> sums(static_cast<size_t>(blocks));
    if (!values || !filled || !sums) return {nan, nan};
    double* v = values.get();
    int64_t count = n;
    double mean = 0;
    if (fewTops) {
        count = blockTops(x, n, keep, v, filled.get(), sums.get());
        for (int64_t b = 0; b < blocks; ++b) mean += sums[b];
        mean /= static_cast<double>(n);
    } else {
        mean = meanOf(x, n);
#pragma omp parallel for schedule(static) num_threads(availableTeam())
        for (int64_t i = 0; i < n; ++i) v[i] = power(x[i]);
    }
    if (!(mean > 0)) return {nan, nan};
    // The largest of all is among the tops too, before the ranking moves them.
    const double peak = withPeak ? *std::max_element(v, v + count) : nan;
    std::nth_element(v, v + rank, v + count, [](double a, double b) { return a > b; });
    return {10.0 * std::log10(v[rank] / mean), withPeak ? 10.0 * std::log10(peak / mean) : nan};
}

}  // namespace

double meanPower(const std::complex<double>* x, int64_t n) { return meanOf(x, n); }

PaprFigures paprFigures(const std::complex<double>* x, int64_t n, double p) { return rankedPapr(x, n, p, true); }

PaprFigures paprFigures(const std::complex<float>* x, int64_t n, double p) { return rankedPapr(x, n, p, true); }

double paprAtDb(const std::complex<double>* x, int64_t n, double p) {
    return rankedPapr(x, n, p, false).atProbabilityDb;
}
