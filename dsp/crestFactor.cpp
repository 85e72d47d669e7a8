#include "crestFactor.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstring>
#include <limits>

#include <omp.h>

#include "buffer.h"
#include "lastError.h"
#include "sharedCores.h"

namespace {

constexpr int64_t kBlock = 65536;

template <class Real>
double power(const std::complex<Real>& v) {
    const double re = v.real(), im = v.imag();
    return re * re + im * im;
}

int64_t blocksOf(int64_t n) { return (n + kBlock - 1) / kBlock; }

// Powers by their leading bits: a power's bit pattern orders as the power
// does, and its exponent with four bits of mantissa make a bucket a
// sixteenth of an octave wide.
constexpr int kBucketShift = 48;
constexpr size_t kBuckets = size_t(1) << (63 - kBucketShift);

uint64_t bucketOf(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return std::min<uint64_t>(bits >> kBucketShift, kBuckets - 1);  // a NaN's sign bit is not a bucket
}

// The rank-th largest power of x (rank < n) from two passes in one
// region: each block's sum of powers (as meanOf adds them), its largest and
// each thread's count of the powers per bucket; then the powers in and
// above the bucket that holds the rank-th, each thread's at its own place,
// ranked alone. Counts are integers, and the value found is the rank-th
// whoever gathered it: the same at any team. False when the working
// memory cannot be had.
template <class Real>
bool rankedPower(const std::complex<Real>* x, int64_t n, int64_t rank, double& mean, double& peak, double& ranked) {
    const int64_t blocks = blocksOf(n);
    const int team = availableTeam();
    Buffer<double> sums(static_cast<size_t>(blocks)), largest(static_cast<size_t>(blocks)), kept;
    Buffer<uint64_t> counts(kBuckets * static_cast<size_t>(team), true), offset(static_cast<size_t>(team));
    if (!sums || !largest || !counts || !offset) return false;
    uint64_t from = kBuckets, above = 0;
#pragma omp parallel num_threads(team)
    {
        const int t = omp_get_thread_num();
        uint64_t* mine = counts.get() + kBuckets * static_cast<size_t>(t);
#pragma omp for schedule(static)
        for (int64_t b = 0; b < blocks; ++b) {
            double sum = 0, top = 0;
            const int64_t hi = std::min(n, (b + 1) * kBlock);
            for (int64_t i = b * kBlock; i < hi; ++i) {
                const double v = power(x[i]);
                sum += v;
                top = std::max(top, v);
                ++mine[bucketOf(v)];
            }
            sums[b] = sum;
            largest[b] = top;
        }
#pragma omp single
        {
            // The bucket of the rank-th largest, from the top down; each
            // thread's share of what is kept, at its place.
            const int threads = omp_get_num_threads();
            while (above <= static_cast<uint64_t>(rank)) {
                --from;
                for (int u = 0; u < threads; ++u) above += counts[kBuckets * static_cast<size_t>(u) + from];
            }
            kept = Buffer<double>(static_cast<size_t>(above));
            uint64_t at = 0;
            for (int u = 0; u < threads; ++u) {
                offset[static_cast<size_t>(u)] = at;
                for (uint64_t k = from; k < kBuckets; ++k) at += counts[kBuckets * static_cast<size_t>(u) + k];
            }
        }
        if (kept) {
            // The same blocks as above for each thread: one region, the same static schedule.
            double* out = kept.get() + offset[static_cast<size_t>(t)];
#pragma omp for schedule(static)
            for (int64_t b = 0; b < blocks; ++b) {
                const int64_t hi = std::min(n, (b + 1) * kBlock);
                for (int64_t i = b * kBlock; i < hi; ++i) {
                    const double v = power(x[i]);
                    if (bucketOf(v) >= from) *out++ = v;
                }
            }
        }
    }
    if (!kept) return false;
    mean = 0;
    for (int64_t b = 0; b < blocks; ++b) mean += sums[b];
    mean /= static_cast<double>(n);
    peak = *std::max_element(largest.get(), largest.get() + blocks);
    double* v = kept.get();
    std::nth_element(v, v + rank, v + above, [](double a, double b) { return a > b; });
    ranked = v[rank];
    return true;
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
    auto blockSum = [&](int64_t b) {
        double s = 0;
        const int64_t hi = std::min(n, (b + 1) * kBlock);
        for (int64_t i = b * kBlock; i < hi; ++i) s += power(x[i]);
        return s;
    };
    Buffer<double> partial(static_cast<size_t>(blocks));
    double total = 0;
    if (!partial) {
        // Without the memory for the blocks' sums, the same sums in turn:
        // the same bits, on one thread.
        for (int64_t b = 0; b < blocks; ++b) total += blockSum(b);
        return total / static_cast<double>(n);
    }
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t b = 0; b < blocks; ++b) partial[b] = blockSum(b);
    for (int64_t b = 0; b < blocks; ++b) total += partial[b];
    return total / static_cast<double>(n);
}

// The figures of paprFigures; the peak's only when `withPeak` (its pass is
// the callers' in every round of a reduction otherwise).
template <class Real>
int rankedPapr(const std::complex<Real>* x, int64_t n, double p, bool withPeak, PaprFigures& out) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    out = {nan, nan};
    int64_t rank = static_cast<int64_t>(std::floor(p * static_cast<double>(n)));
    if (rank > n - 1) rank = n - 1;
    if (rank < 0) rank = 0;
    const int64_t blocks = blocksOf(n);
    if (rank == 0) {
        const double mean = meanOf(x, n);
        if (!(mean > 0)) return 0;
        Buffer<double> partial(static_cast<size_t>(blocks));
        if (!partial) return outOfMemory<double>(-3, static_cast<size_t>(blocks), "peak's blocks");
        const double peak = 10.0 * std::log10(peakPower(x, n, partial.get()) / mean);  // the peak needs no ranking
        out = {peak, peak};
        return 0;
    }
    double mean = 0, peak = 0, ranked = 0;
    if (!rankedPower(x, n, rank, mean, peak, ranked))
        return refuse(-3, "out of memory for the PAPR's ranking of %lld samples", static_cast<long long>(n));
    if (mean > 0) out = {10.0 * std::log10(ranked / mean), withPeak ? 10.0 * std::log10(peak / mean) : nan};
    return 0;
}

}  // namespace

double meanPower(const std::complex<double>* x, int64_t n) { return meanOf(x, n); }

double meanPower(const std::complex<float>* x, int64_t n) { return meanOf(x, n); }

int rankPapr(const std::complex<double>* x, int64_t n, double p, PaprFigures& out) {
    return rankedPapr(x, n, p, true, out);
}

int rankPapr(const std::complex<float>* x, int64_t n, double p, PaprFigures& out) {
    return rankedPapr(x, n, p, true, out);
}

int rankPaprAtDb(const std::complex<double>* x, int64_t n, double p, double& db) {
    PaprFigures f;
    const int rc = rankedPapr(x, n, p, false, f);
    db = f.atProbabilityDb;
    return rc;
}

PaprFigures paprFigures(const std::complex<double>* x, int64_t n, double p) {
    PaprFigures f;
    rankedPapr(x, n, p, true, f);
    return f;
}

PaprFigures paprFigures(const std::complex<float>* x, int64_t n, double p) {
    PaprFigures f;
    rankedPapr(x, n, p, true, f);
    return f;
}

double paprAtDb(const std::complex<double>* x, int64_t n, double p) {
    double db = 0;
    rankPaprAtDb(x, n, p, db);
    return db;
}
