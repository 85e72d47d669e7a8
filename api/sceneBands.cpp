#include "sceneBands.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "cpuDispatch.h"
#include "hugePages.h"
#include "lastError.h"
#include "mathConstants.h"
#include "sharedCores.h"

template <class Real>
int SceneSpectrum::transform(const std::complex<Real>* x, int64_t n, double rate, SceneDft& dft) {
    n_ = n;
    rate_ = rate;
    known_.clear();
    if (!bins_ || bins_.size() != static_cast<size_t>(n)) {
        // Fresh memory costs its first touch: a spectrum of the same size is written over.
        bins_ = Buffer<SceneBin>(static_cast<size_t>(n));
        if (!bins_) return outOfMemory<SceneBin>(-3, static_cast<size_t>(n), "scene spectrum");
        preferHugePages(bins_.get(), Buffer<SceneBin>::bytesFor(static_cast<size_t>(n)));
    }
    SceneBin* bins = bins_.get();
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t i = 0; i < n; ++i)
        bins[i] = SceneBin(static_cast<float>(x[i].real()), static_cast<float>(x[i].imag()));
    return transformBins(dft);
}

int SceneSpectrum::transformBins(SceneDft& dft) {
    const int64_t n = n_;
    if (dft.size() != n && dft.plan(n, DftDirection::forward, bins_.get(), availableTeam()))
        return refuse(-3, "the scene's transform of %lld points cannot be planned", static_cast<long long>(n));
    dft.execute(bins_.get());
    layout_ = &dft;
    return 0;
}

int SceneSpectrum::takeOver(Buffer<SceneBin>& x, int64_t n, double rate, SceneDft& dft) {
    std::swap(bins_, x);
    n_ = n;
    rate_ = rate;
    known_.clear();
    return transformBins(dft);
}

int SceneSpectrum::take(const std::complex<double>* x, int64_t n, double rate, SceneDft& dft) {
    return transform(x, n, rate, dft);
}

int SceneSpectrum::take(const std::complex<float>* x, int64_t n, double rate, SceneDft& dft) {
    return transform(x, n, rate, dft);
}

int SceneSpectrum::copy(const SceneSpectrum& other) {
    n_ = other.n_;
    rate_ = other.rate_;
    known_ = other.known_;
    layout_ = other.layout_;
    if (!bins_ || bins_.size() != static_cast<size_t>(n_)) bins_ = Buffer<SceneBin>(static_cast<size_t>(n_));
    if (!bins_) return outOfMemory<SceneBin>(-3, static_cast<size_t>(n_), "scene spectrum");
    preferHugePages(bins_.get(), Buffer<SceneBin>::bytesFor(static_cast<size_t>(n_)));
    std::copy(other.bins_.get(), other.bins_.get() + n_, bins_.get());
    return 0;
}

int SceneSpectrum::start(const SceneSpectrum& like) {
    n_ = like.n_;
    rate_ = like.rate_;
    layout_ = like.layout_;
    known_.clear();
    const int64_t columns = n_ / layout_->slotRows();
    bins_ = Buffer<SceneBin>(static_cast<size_t>(n_), true);
    turns_ = Buffer<std::complex<double>>(static_cast<size_t>(columns));
    if (!bins_ || !turns_) return outOfMemory<SceneBin>(-3, static_cast<size_t>(n_), "scene spectrum");
    preferHugePages(bins_.get(), Buffer<SceneBin>::bytesFor(static_cast<size_t>(n_)));
    for (int64_t m = 0; m < columns; ++m) {
        const double a = -kTwoPi * (static_cast<double>(m) / static_cast<double>(columns));
        turns_[static_cast<size_t>(m)] = {std::cos(a), std::sin(a)};
    }
    return 0;
}

namespace {

// out[i] += (x[i] t[i]) w, in doubles, rounded to float: compiled once per
// kernel variant, the same operations in each. Each difference of products
// is written as a sum with the sign in a factor (the same bits: a - b is
// a + (-b), and (-a) b is -(a b)): a real part's subtraction beside an
// imaginary part's addition is what the vectoriser fuses into one
// multiply-add-subtract with FMA, whatever -ffp-contract says.
auto addTurned = [](const SceneBin* x, const std::complex<double>* t, double wr, double wi, int64_t count,
                    SceneBin* out) GENSIGNAL_KERNEL_BODY {
    const float* xf = reinterpret_cast<const float*>(x);
    const double* td = reinterpret_cast<const double*>(t);
    float* of = reinterpret_cast<float*>(out);
    const double minusWi = -wi;
    for (int64_t i = 0; i < count; ++i) {
        const double xr = xf[2 * i], xi = xf[2 * i + 1];
        const double tr = td[2 * i], ti = td[2 * i + 1];
        const double minusXi = -xi;
        const double ar = xr * tr + minusXi * ti, ai = xr * ti + xi * tr;
        of[2 * i] += static_cast<float>(ar * wr + ai * minusWi);
        of[2 * i + 1] += static_cast<float>(ar * wi + ai * wr);
    }
};

}  // namespace

int SceneSpectrum::add(const SceneSpectrum& x, const PlacedSpectrum* parts, int count,
                       const std::function<void()>& alongside) {
    // Bin k = q R + r (row r, column q) takes source bin j = (k - cycles)
    // mod n = q' R + r'. Its turn e^(-2 pi i j delay / n) is the row's
    // e^(-2 pi i r' delay / n) times the column's e^(-2 pi i (q' delay mod
    // C) / C), an entry of the table found in integers: no value depends
    // on another's rounding or on the threads. The parts go in one after
    // another over a span of bins that stays in cache.
    constexpr int64_t kSpan = 4096;
    const int64_t n = n_, rows = layout_->slotRows(), columns = n / rows;
    const int64_t spans = (columns + kSpan - 1) / kSpan;
    // Each part's column turns in column order.
    const size_t turnCount = static_cast<size_t>(count) * static_cast<size_t>(columns);
    Buffer<std::complex<double>> columnTurns(turnCount);
    if (!columnTurns) return outOfMemory<std::complex<double>>(-3, turnCount, "scene spectrum's turns");
    for (int i = 0; i < count; ++i) {
        const int64_t step = (parts[i].delay % n + n) % n % columns;
        for (int64_t q = 0, m = 0; q < columns; ++q, m = (m + step) % columns)
            columnTurns[static_cast<size_t>(i * columns + q)] = turns_[static_cast<size_t>(m)];
    }
    const SceneBin* from = x.bins_.get();
    SceneBin* to = bins_.get();
    known_.clear();
    // One thread takes the work alongside first, then joins the spans the
    // others have been taking; a span's bins are its own, in any order.
#pragma omp parallel num_threads(availableTeam())
    {
        if (alongside) {
#pragma omp single nowait
            alongside();
        }
#pragma omp for schedule(dynamic, 8)
        for (int64_t b = 0; b < rows * spans; ++b) {
            const int64_t r = b / spans, q0 = (b % spans) * kSpan, q1 = std::min(columns, q0 + kSpan);
            SceneBin* out = to + r * columns;
            for (int i = 0; i < count; ++i) {
                const PlacedSpectrum& p = parts[i];
                const int64_t c = (p.cycles % n + n) % n, d = (p.delay % n + n) % n;
                int64_t rs = r - c % rows, shift = c / rows;
                if (rs < 0) rs += rows, ++shift;
                const double a = p.phase - kTwoPi * (static_cast<double>(rs * d % n) / static_cast<double>(n));
                const double wr = p.gain * std::cos(a), wi = p.gain * std::sin(a);
                const SceneBin* row = from + rs * columns;
                const std::complex<double>* turn = columnTurns.get() + i * columns;
                // Source columns q - shift mod C: up to the row's end, then on from its start.
                for (int64_t q = q0; q < q1;) {
                    const int64_t qs = ((q - shift) % columns + columns) % columns;
                    const int64_t end = std::min(q1, q + columns - qs);
                    runForKernels(addTurned, row + qs, turn + qs, wr, wi, end - q, out + q);
                    q = end;
                }
            }
        }
    }
    return 0;
}

namespace {

// The bins of [lower, upper] Hz, as an index range over the signed bins;
// each index b maps to bin (b mod n).
void binRange(const SceneBand& band, int64_t n, double rate, int64_t& lo, int64_t& hi) {
    const double perBin = rate / static_cast<double>(n);
    const double lower = std::ceil(band.lower / perBin - 1e-9), upper = std::floor(band.upper / perBin + 1e-9);
    const int64_t least = -(n / 2), most = (n - 1) / 2;
    // A band without edges holds no bins; edges beyond the spectrum are cut
    // to it before they become integers.
    if (std::isnan(lower) || std::isnan(upper)) {
        lo = 0;
        hi = -1;
        return;
    }
    lo = lower < static_cast<double>(least)  ? least
         : lower > static_cast<double>(most) ? most + 1
                                             : static_cast<int64_t>(lower);
    hi = upper > static_cast<double>(most)    ? most
         : upper < static_cast<double>(least) ? least - 1
                                              : static_cast<int64_t>(upper);
}

int64_t wrapped(int64_t b, int64_t n) { return b < 0 ? b + n : b; }

double power(const std::complex<double>& v) { return v.real() * v.real() + v.imag() * v.imag(); }
double power(const SceneBin& v) { return power(std::complex<double>(v.real(), v.imag())); }
std::complex<double> wide(const SceneBin& v) { return {v.real(), v.imag()}; }

}  // namespace

// M bands' sums, each from its lowest bin up as one chain of additions:
// the chains interleave, so that one core keeps several going.
template <int M>
void SceneSpectrum::rangePowersSideBySide(KnownPower* jobs) const {
    SceneDft::BinWalk at[M];
    int64_t left[M];
    double sum[M];
    int64_t common = INT64_MAX;
    for (int w = 0; w < M; ++w) {
        left[w] = jobs[w].hi < jobs[w].lo ? 0 : jobs[w].hi - jobs[w].lo + 1;
        if (left[w] > 0) at[w] = SceneDft::BinWalk(*layout_, wrapped(jobs[w].lo, n_));
        sum[w] = 0;
        common = std::min(common, left[w]);
    }
    for (int64_t b = 0; b < common; ++b)
        for (int w = 0; w < M; ++w) {
            sum[w] += power(bins_[static_cast<size_t>(at[w].slot())]);
            at[w].next();
        }
    const double n = static_cast<double>(n_);
    for (int w = 0; w < M; ++w) {
        for (int64_t b = common; b < left[w]; ++b, at[w].next())
            sum[w] += power(bins_[static_cast<size_t>(at[w].slot())]);
        jobs[w].power = sum[w] / n / n;
    }
}

void SceneSpectrum::rangePowers(KnownPower* jobs, int count) const {
    for (int j = 0; j < count;) {
        switch (std::min(count - j, 4)) {
            case 1: rangePowersSideBySide<1>(jobs + j), j += 1; break;
            case 2: rangePowersSideBySide<2>(jobs + j), j += 2; break;
            case 3: rangePowersSideBySide<3>(jobs + j), j += 3; break;
            default: rangePowersSideBySide<4>(jobs + j), j += 4; break;
        }
    }
}

void SceneSpectrum::bandPowers(const SceneBand* bands, int count, double* out) const {
    // Each band's sum runs in its own order on one thread: the same bits
    // however the bands are shared out.
    std::vector<KnownPower> fresh;
    std::vector<int> slotOf(static_cast<size_t>(count), -1);
    for (int i = 0; i < count; ++i) {
        KnownPower k{0, -1, 0};
        binRange(bands[i], n_, rate_, k.lo, k.hi);
        auto same = [&](const KnownPower& o) { return o.lo == k.lo && o.hi == k.hi; };
        const auto old = std::find_if(known_.begin(), known_.end(), same);
        if (old != known_.end()) {
            out[i] = old->power;
            continue;
        }
        const auto pending = std::find_if(fresh.begin(), fresh.end(), same);
        slotOf[static_cast<size_t>(i)] = static_cast<int>(pending - fresh.begin());
        if (pending == fresh.end()) fresh.push_back(k);
    }
    // Each thread a share of the bands, summed side by side.
    const int jobs = static_cast<int>(fresh.size());
    const int team = std::min(availableTeam(), jobs);
#pragma omp parallel num_threads(team) if (team > 1)
    {
        const int t = omp_get_thread_num(), threads = omp_get_num_threads();
        const int first = jobs * t / threads, last = jobs * (t + 1) / threads;
        rangePowers(fresh.data() + first, last - first);
    }
    for (int i = 0; i < count; ++i)
        if (slotOf[static_cast<size_t>(i)] >= 0) out[i] = fresh[static_cast<size_t>(slotOf[i])].power;
    known_.insert(known_.end(), fresh.begin(), fresh.end());
}

double SceneSpectrum::bandPower(const SceneBand& band) const {
    double p = 0;
    bandPowers(&band, 1, &p);
    return p;
}

void SceneSpectrum::markSlots(const SceneBand& band, unsigned char* keep) const {
    int64_t lo = 0, hi = -1;
    binRange(band, n_, rate_, lo, hi);
    eachSlot(lo, hi, [&](int64_t slot) { keep[slot] = 1; });
}

namespace {

constexpr int64_t kChunk = 4096;  // bins between the running sum's checkpoints

}  // namespace

SceneBand SceneSpectrum::occupied(double percent) const {
    const int64_t n = n_, half = n_ / 2;
    // One pass from the lowest frequency up; the running sum is kept at
    // every chunk's start, so each edge is found again in one chunk from
    // there, with the very sums the pass added.
    // Without the memory for the checkpoints, one chunk of all bins: the
    // plain second pass from the start, with the same sums.
    const int64_t wanted = (n + kChunk - 1) / kChunk;
    Buffer<double> kept(static_cast<size_t>(wanted) + 1);
    double whole[2];
    const int64_t chunk = kept ? kChunk : std::max<int64_t>(n, 1), chunks = kept ? wanted : 1;
    double* checkpoint = kept ? kept.get() : whole;
    double total = 0;
    SceneDft::BinWalk at(*layout_, wrapped(-half, n));
    for (int64_t m = 0; m < n; ++m, at.next()) {
        if (m % chunk == 0) checkpoint[m / chunk] = total;
        total += power(bins_[static_cast<size_t>(at.slot())]);
    }
    checkpoint[chunks] = total;
    if (!(total > 0)) return {0, 0};
    const double tail = (1.0 - percent / 100.0) / 2.0;
    const double below = tail * total, upTo = (1.0 - tail) * total;
    // The first bin whose running sum passes `reached`; n when none does.
    auto firstPast = [&](auto reached) {
        int64_t c = 0;
        while (c < chunks && !reached(checkpoint[c + 1])) ++c;
        if (c == chunks) return n;
        double running = checkpoint[c];
        SceneDft::BinWalk walk(*layout_, wrapped(c * chunk - half, n));
        for (int64_t m = c * chunk;; ++m, walk.next()) {
            running += power(bins_[static_cast<size_t>(walk.slot())]);
            if (reached(running)) return m;
        }
    };
    int64_t upper = firstPast([&](double r) { return r >= upTo; });
    if (upper == n) upper = n - 1;
    int64_t lower = firstPast([&](double r) { return r > below; });
    if (lower > upper) lower = upper;  // only when rounding leaves the tail unreached
    const double perBin = rate_ / static_cast<double>(n);
    return {(static_cast<double>(lower - half) - 0.5) * perBin, (static_cast<double>(upper - half) + 0.5) * perBin};
}

double evmCostPercent(const SceneSpectrum& before, const SceneSpectrum& after, const SceneBand& band) {
    const int64_t n = before.size();
    int64_t lo = 0, hi = -1;
    binRange(band, n, before.rate(), lo, hi);
    std::complex<double> cross(0, 0);
    double reference = 0;
    before.eachSlot(lo, hi, [&](int64_t slot) {
        const std::complex<double> x = wide(before.atSlot(slot)), y = wide(after.atSlot(slot));
        cross += y * std::conj(x);
        reference += power(x);
    });
    if (!(reference > 0)) return 0;
    const std::complex<double> g = cross / reference;
    double error = 0;
    before.eachSlot(lo, hi, [&](int64_t slot) {
        const std::complex<double> x = wide(before.atSlot(slot)), y = wide(after.atSlot(slot));
        error += power(y - g * x);
    });
    return 100.0 * std::sqrt(error / (power(g) * reference));
}

SceneBand adjacentBand(const SceneBand& band, double spacing, int side) {
    const double shift = side * spacing;
    return {band.lower + shift, band.upper + shift};
}

bool withinRate(const SceneBand& band, double rate) { return !(band.lower < -rate / 2 || band.upper > rate / 2); }

double adjacentRatioDb(const SceneSpectrum& s, const SceneBand& band, double spacing, int side, double rate) {
    const SceneBand adjacent = adjacentBand(band, spacing, side);
    if (!withinRate(adjacent, rate)) return std::numeric_limits<double>::quiet_NaN();
    const SceneBand both[] = {adjacent, band};
    double power[2];
    s.bandPowers(both, 2, power);
    return 10.0 * std::log10(power[0] / power[1]);
}
