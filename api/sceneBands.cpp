#include "sceneBands.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "hugePages.h"
#include "lastError.h"
#include "sharedCores.h"

template <class Real>
int SceneSpectrum::transform(const std::complex<Real>* x, int64_t n, double rate, SceneDft& dft) {
    n_ = n;
    rate_ = rate;
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
    if (dft.size() != n && dft.plan(n, DftDirection::forward, bins, availableTeam()))
        return refuse(-3, "the scene's transform of %lld points cannot be planned", static_cast<long long>(n));
    dft.execute(bins);
    layout_ = &dft;
    return 0;
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
    layout_ = other.layout_;
    bins_ = Buffer<SceneBin>(static_cast<size_t>(n_));
    if (!bins_) return outOfMemory<SceneBin>(-3, static_cast<size_t>(n_), "scene spectrum");
    preferHugePages(bins_.get(), Buffer<SceneBin>::bytesFor(static_cast<size_t>(n_)));
    std::copy(other.bins_.get(), other.bins_.get() + n_, bins_.get());
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

double SceneSpectrum::bandPower(const SceneBand& band) const {
    int64_t lo = 0, hi = -1;
    binRange(band, n_, rate_, lo, hi);
    double sum = 0;
    eachSlot(lo, hi, [&](int64_t slot) { sum += power(bins_[static_cast<size_t>(slot)]); });
    const double n = static_cast<double>(n_);
    return sum / n / n;
}

void SceneSpectrum::markSlots(const SceneBand& band, unsigned char* keep) const {
    int64_t lo = 0, hi = -1;
    binRange(band, n_, rate_, lo, hi);
    eachSlot(lo, hi, [&](int64_t slot) { keep[slot] = 1; });
}

SceneBand SceneSpectrum::occupied(double percent) const {
    const int64_t n = n_, half = n_ / 2;
    double total = 0;
    eachSlot(-half, n - 1 - half, [&](int64_t slot) { total += power(bins_[static_cast<size_t>(slot)]); });
    if (!(total > 0)) return {0, 0};
    const double tail = (1.0 - percent / 100.0) / 2.0;
    const double below = tail * total, upTo = (1.0 - tail) * total;
    int64_t lower = -1, upper = n - 1;
    double running = 0;
    SceneDft::BinWalk at(*layout_, wrapped(-half, n));
    for (int64_t m = 0; m < n; ++m, at.next()) {
        running += power(bins_[static_cast<size_t>(at.slot())]);
        if (lower < 0 && running > below) lower = m;
        if (running >= upTo) {
            upper = m;
            break;
        }
    }
    if (lower < 0) lower = upper;  // only when rounding leaves the tail unreached
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

double adjacentRatioDb(const SceneSpectrum& s, const SceneBand& band, double spacing, int side, double rate) {
    const double shift = side * spacing;
    const SceneBand adjacent{band.lower + shift, band.upper + shift};
    if (adjacent.lower < -rate / 2 || adjacent.upper > rate / 2) return std::numeric_limits<double>::quiet_NaN();
    return 10.0 * std::log10(s.bandPower(adjacent) / s.bandPower(band));
}
