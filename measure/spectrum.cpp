#include "spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <limits>

#include "buffer.h"
#include "fourierTransform.h"
#include "lastError.h"

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

int64_t largestPrimeFactor(int64_t n) {
    int64_t largest = 1;
    for (int64_t p = 2; p * p <= n; ++p)
        while (n % p == 0) {
            largest = p;
            n /= p;
        }
    return n > 1 ? n : largest;
}

// 10 log10(a / b) when both are above 0 (a finite ratio), else NaN.
double ratioDb(double a, double b) { return a > 0 && b > 0 ? 10.0 * std::log10(a / b) : kNone; }

// The bins [first, end).
struct Range {
    int64_t first, end;
};

// Bin powers in frequency order without storing them: bin m is transform
// index m - floor(n/2), modulo n.
struct Bins {
    const std::complex<double>* X;
    int64_t n, half;
    double power(int64_t m) const {
        const std::complex<double> v = X[m < half ? m + n - half : m - half];
        return v.real() * v.real() + v.imag() * v.imag();
    }
    // Summed from the lowest bin up.
    double sum(Range r) const {
        double s = 0;
        for (int64_t m = r.first; m < r.end; ++m) s += power(m);
        return s;
    }
};

// The bins m with |f(m) - centre| <= halfWidth. f(m) never decreases with m
// (each rounding is monotonic), so they are one run, found by bisection
// with the very comparison a bin-by-bin test would make.
template <class Frequency>
Range within(const Frequency& f, int64_t n, double centre, double halfWidth) {
    int64_t lo = 0, hi = n;  // first m with f(m) - centre >= -halfWidth
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (f(mid) - centre < -halfWidth)
            lo = mid + 1;
        else
            hi = mid;
    }
    int64_t end = lo, top = n;  // first m with f(m) - centre > halfWidth
    while (end < top) {
        const int64_t mid = end + (top - end) / 2;
        if (f(mid) - centre > halfWidth)
            top = mid;
        else
            end = mid + 1;
    }
    return {lo, end};
}

}  // namespace

int probeTransformMemory(int64_t n, const char* what) {
    // What FFTW was seen to take while planning and executing: at most about
    // 1.2 n points for sizes of small factors (13^5 the most), and up to 6.4 n
    // for a large prime factor p, whose convolutions grow with p.
    const int64_t p = largestPrimeFactor(n);
    const double points = 1.5 * static_cast<double>(n) + (p > 16 ? 8.0 * static_cast<double>(p) : 0.0);
    const double bytes = points * sizeof(std::complex<double>);
    void* probe = bytes < 9e18 ? std::malloc(static_cast<size_t>(bytes)) : nullptr;
    if (!probe) return refuse(-1, "out of memory: %.0f bytes for the %s's transform", bytes, what);
    std::free(probe);
    return 0;
}

template <class Reader>
int measureSpectrum(const Reader& x, int64_t n, const SpectrumRequest& request, Spectrum& out) {
    out = {kNone, kNone, kNone, kNone, kNone, kNone, kNone};
    Buffer<std::complex<double>> X(static_cast<size_t>(n));
    if (!X) return outOfMemory<std::complex<double>>(-1, static_cast<size_t>(n), "buffer's spectrum");
    if (probeTransformMemory(n, "buffer")) return -1;
    Dft<double> dft;
    if (!dft.plan(static_cast<int>(n), X.get(), X.get(), DftDirection::forward))
        return refuse(-1, "no transform of %lld points could be planned", static_cast<long long>(n));
    for (int64_t i = 0; i < n; ++i) X[i] = {x.re(i), x.im(i)};
    dft.execute(X.get(), X.get());

    const Bins bins{X.get(), n, n / 2};
    const double rate = request.rate;
    double total = 0;
    for (int64_t m = 0; m < n; ++m) total += bins.power(m);

    // The occupied band: the first bin where the running sum from the lowest
    // frequency exceeds the lower tail, the first where it reaches the rest.
    if (total > 0) {
        const double tail = (1.0 - request.obwPercent / 100.0) / 2.0;
        const double below = tail * total, upTo = (1.0 - tail) * total;
        int64_t lower = -1, upper = n - 1;
        double running = 0;
        for (int64_t m = 0; m < n; ++m) {
            running += bins.power(m);
            if (lower < 0 && running > below) lower = m;
            if (running >= upTo) {
                upper = m;
                break;
            }
        }
        if (lower < 0) lower = upper;  // only when rounding leaves the tail unreached
        out.obwLower = (static_cast<double>(lower - bins.half) - 0.5) * rate / static_cast<double>(n);
        out.obwUpper = (static_cast<double>(upper - bins.half) + 0.5) * rate / static_cast<double>(n);
    }

    // By default the narrowest channel centred at 0 Hz that holds the occupied band.
    const double bandwidth =
        request.channelBandwidth > 0 ? request.channelBandwidth : 2.0 * std::max(-out.obwLower, out.obwUpper);
    const double spacing = request.channelSpacing > 0 ? request.channelSpacing : bandwidth;
    if (!(bandwidth > 0)) return 0;  // a silent buffer has no occupied band
    out.channelBandwidth = bandwidth;
    out.channelSpacing = spacing;

    // Channel powers over the bins whose centre lies within +-B/2 of the
    // channel's centre; the largest bin inside and outside the main one.
    const double halfWidth = bandwidth / 2.0;
    const auto frequency = [&](int64_t m) {
        return static_cast<double>(m - bins.half) * rate / static_cast<double>(n);
    };
    const Range main = within(frequency, n, 0.0, halfWidth);
    double mainPower = 0, largestIn = 0, largestOut = 0;
    for (int64_t m = main.first; m < main.end; ++m) {
        const double p = bins.power(m);
        mainPower += p;
        largestIn = std::max(largestIn, p);
    }
    for (int64_t m = 0; m < main.first; ++m) largestOut = std::max(largestOut, bins.power(m));
    for (int64_t m = main.end; m < n; ++m) largestOut = std::max(largestOut, bins.power(m));
    if (spacing + halfWidth <= rate / 2.0) {
        out.acprLower = ratioDb(bins.sum(within(frequency, n, -spacing, halfWidth)), mainPower);
        out.acprUpper = ratioDb(bins.sum(within(frequency, n, spacing, halfWidth)), mainPower);
    }
    if (main.end - main.first < n) out.sfdr = ratioDb(largestIn, largestOut);
    return 0;
}

template int measureSpectrum(const Ci16Reader&, int64_t, const SpectrumRequest&, Spectrum&);
template int measureSpectrum(const Cf32Reader&, int64_t, const SpectrumRequest&, Spectrum&);
