#include "levels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "buffer.h"

namespace {

// Ranking works on 32-bit keys that order as the powers do: the exact
// integer I^2 + Q^2 (at most 2^31) for int16 buffers; for float buffers the
// bits of the power over the peak power, rounded to float (non-negative
// floats order as their bits do, and the quotient cannot overflow a float
// as the power of a large float sample would).
struct KeyScale {
    double peak = 1;
};

KeyScale keyScale(const Ci16Reader&, int64_t) { return {}; }
KeyScale keyScale(const Cf32Reader& x, int64_t n) {
    double peak = 0;
    for (int64_t i = 0; i < n; ++i) {
        const double re = x.re(i), im = x.im(i);
        peak = std::max(peak, re * re + im * im);
    }
    return {peak > 0 ? peak : 1.0};
}

uint32_t powerKey(const Ci16Reader& x, int64_t i, KeyScale) {
    const int32_t re = x.iq[2 * i], im = x.iq[2 * i + 1];
    return static_cast<uint32_t>(re * re) + static_cast<uint32_t>(im * im);
}
uint32_t powerKey(const Cf32Reader& x, int64_t i, KeyScale scale) {
    const double re = x.re(i), im = x.im(i);
    const float p = static_cast<float>((re * re + im * im) / scale.peak);
    uint32_t key;
    std::memcpy(&key, &p, sizeof key);
    return key;
}
double keyPower(const Ci16Reader&, uint32_t key, KeyScale) { return key; }
double keyPower(const Cf32Reader&, uint32_t key, KeyScale scale) {
    float p;
    std::memcpy(&p, &key, sizeof p);
    return static_cast<double>(p) * scale.peak;
}

constexpr int kBuckets = 1 << 16;
constexpr int kRanks = 4;
constexpr int64_t kSortBelow = 1 << 13;

// Where the rank-th largest key lies among per-bucket counts: its bucket,
// walking down from the top, and its rank among that bucket's keys.
void findBucket(const uint32_t* counts, int64_t rank, int& bucket, int64_t& rankInBucket) {
    int64_t above = 0;
    for (int b = kBuckets - 1; b >= 0; --b) {
        if (rank < above + counts[b]) {
            bucket = b;
            rankInBucket = rank - above;
            return;
        }
        above += counts[b];
    }
    bucket = 0;  // not reached for rank < n
    rankInBucket = 0;
}

}  // namespace

int64_t ccdfRank(double p, int64_t n) { return static_cast<int64_t>(std::floor(p * static_cast<double>(n))); }

// The four ranked keys by a two-digit radix selection: counts of the high
// 16 bits find each key's bucket, counts of the low 16 bits within those
// buckets find the key. Linear in n, unlike a sort.
template <class Reader>
bool measureLevels(const Reader& x, int64_t n, Levels& out) {
    // Short buffers are ranked by a sort: clearing the selection's counts
    // (1.3 MB) would cost more than the buffer itself, many times over when
    // a dataset measures thousands of short items.
    const bool bySort = n < kSortBelow;
    Buffer<uint32_t> counts(bySort ? 1 : static_cast<size_t>(kBuckets) * (1 + kRanks), true);
    Buffer<int8_t> slotOf(bySort ? 1 : kBuckets);
    if (!counts || !slotOf) return false;
    uint32_t* high = counts.get();
    const KeyScale scale = keyScale(x, n);

    double sum = 0, peak = 0, step = 0;
    for (int64_t i = 0; i < n; ++i) {
        const double re = x.re(i), im = x.im(i);
        const double p = re * re + im * im;
        sum += p;
        peak = std::max(peak, p);
        if (i + 1 < n) {
            const double dr = x.re(i + 1) - re, di = x.im(i + 1) - im;
            step = std::max(step, dr * dr + di * di);
        }
        if (!bySort) ++high[powerKey(x, i, scale) >> 16];
    }
    out.peakPower = peak;
    out.meanPower = sum / static_cast<double>(n);
    const double dr = x.re(0) - x.re(n - 1), di = x.im(0) - x.im(n - 1);
    out.seamRatio = step > 0 ? std::sqrt(dr * dr + di * di) / std::sqrt(step) : 0.0;
    if (bySort) {
        int64_t ranks[kRanks];
        for (int r = 0; r < kRanks; ++r) ranks[r] = ccdfRank(kCcdfProbabilities[r], n);
        return rankedPowers(x, n, ranks, kRanks, out.ccdfPower);
    }

    int bucket[kRanks];
    int64_t within[kRanks];
    int slot[kRanks];
    std::memset(slotOf.get(), -1, kBuckets);
    int slots = 0;
    for (int r = 0; r < kRanks; ++r) {
        findBucket(high, ccdfRank(kCcdfProbabilities[r], n), bucket[r], within[r]);
        if (slotOf[bucket[r]] < 0) slotOf[bucket[r]] = static_cast<int8_t>(slots++);
        slot[r] = slotOf[bucket[r]];
    }
    uint32_t* low = high + kBuckets;
    for (int64_t i = 0; i < n; ++i) {
        const uint32_t key = powerKey(x, i, scale);
        const int s = slotOf[key >> 16];
        if (s >= 0) ++low[static_cast<size_t>(s) * kBuckets + (key & 0xffff)];
    }
    for (int r = 0; r < kRanks; ++r) {
        int lowBits = 0;
        int64_t unused = 0;
        findBucket(low + static_cast<size_t>(slot[r]) * kBuckets, within[r], lowBits, unused);
        const uint32_t key = (static_cast<uint32_t>(bucket[r]) << 16) | static_cast<uint32_t>(lowBits);
        // Rank 0 is the peak itself, not its float rounding.
        out.ccdfPower[r] = ccdfRank(kCcdfProbabilities[r], n) == 0 ? peak : keyPower(x, key, scale);
    }
    return true;
}

template <class Reader>
bool rankedPowers(const Reader& x, int64_t n, const int64_t* ranks, int count, double* powers) {
    Buffer<uint32_t> keys(static_cast<size_t>(n));
    if (!keys) return false;
    const KeyScale scale = keyScale(x, n);
    double peak = 0;
    for (int64_t i = 0; i < n; ++i) {
        keys[i] = powerKey(x, i, scale);
        const double re = x.re(i), im = x.im(i);
        peak = std::max(peak, re * re + im * im);
    }
    std::sort(keys.get(), keys.get() + n, std::greater<uint32_t>());
    for (int i = 0; i < count; ++i) powers[i] = ranks[i] == 0 ? peak : keyPower(x, keys[ranks[i]], scale);
    return true;
}

template bool measureLevels(const Ci16Reader&, int64_t, Levels&);
template bool measureLevels(const Cf32Reader&, int64_t, Levels&);
template bool rankedPowers(const Ci16Reader&, int64_t, const int64_t*, int, double*);
template bool rankedPowers(const Cf32Reader&, int64_t, const int64_t*, int, double*);
