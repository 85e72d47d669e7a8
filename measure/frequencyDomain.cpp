#include "frequencyDomain.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
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

// Bin powers in frequency order: bin m is transform index m - floor(n/2),
// modulo n, its power stored at that index.
struct Bins {
    const double* P;
    int64_t n, half;
    double power(int64_t m) const { return P[m < half ? m + n - half : m - half]; }
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

// Float buffers may hold values far beyond full scale, which a transform in
// single precision would carry past the float range: those are scaled down
// by a power of two to at most 2^40 counts before the transform (exact, and
// every value below is a ratio of powers, so none changes). int16 buffers
// need none.
int downShift(const Ci16Reader&, int64_t) { return 0; }
int downShift(const Cf32Reader& x, int64_t n) {
    double largest = 0;
    for (int64_t i = 0; i < n; ++i) largest = std::max({largest, std::fabs(x.re(i)), std::fabs(x.im(i))});
    return largest > 0 ? std::max(0, std::ilogb(largest) - 40) : 0;
}

}  // namespace

int probeTransformMemory(int64_t n, size_t pointBytes, const char* what) {
    // What FFTW was seen to take while planning and executing: at most about
    // 1.2 n points for sizes of small factors (13^5 the most), and up to 6.4 n
    // for a large prime factor p, whose convolutions grow with p.
    const int64_t p = largestPrimeFactor(n);
    const double points = 1.5 * static_cast<double>(n) + (p > 16 ? 8.0 * static_cast<double>(p) : 0.0);
    const double bytes = points * static_cast<double>(pointBytes);
    void* probe = bytes < 9e18 ? std::malloc(static_cast<size_t>(bytes)) : nullptr;
    if (!probe) return refuse(-1, "out of memory: %.0f bytes for the %s's transform", bytes, what);
    std::free(probe);
    return 0;
}

namespace {

// The buffer's bin powers into P (n doubles), in transform order, and their
// sum in frequency order; 0, or -1 with the reason. One array serves twice:
// the transform in single precision (ample for 16-bit samples: its rounding
// lies far below their quantisation floor, and it halves the memory and the
// transform's time), then each bin's power as a double in the same eight
// bytes, so the measurements below read each power once.
template <class Reader>
int binPowers(const Reader& x, int64_t n, Buffer<double>& P, double& total) {
    static_assert(sizeof(std::complex<float>) == sizeof(double), "a bin's power fits in its transform value");
    P = Buffer<double>(static_cast<size_t>(n));
    if (!P) return outOfMemory<double>(-1, static_cast<size_t>(n), "buffer's spectrum");
    if (probeTransformMemory(n, sizeof(std::complex<float>), "buffer")) return -1;
    auto* X = reinterpret_cast<std::complex<float>*>(P.get());
    Dft<float> dft;
    if (!dft.plan(static_cast<int>(n), X, X, DftDirection::forward))
        return refuse(-1, "no transform of %lld points could be planned", static_cast<long long>(n));
    const int shift = downShift(x, n);
    const double down = std::ldexp(1.0, -shift);
    for (int64_t i = 0; i < n; ++i) X[i] = {static_cast<float>(x.re(i) * down), static_cast<float>(x.im(i) * down)};
    dft.execute(X, X);
    // Summed in frequency order: the negative frequencies (the top of the transform) first.
    total = 0;
    for (const Range r : {Range{n - n / 2, n}, Range{0, n - n / 2}})
        for (int64_t k = r.first; k < r.end; ++k) {
            float v[2];
            std::memcpy(v, &P[k], sizeof v);
            const double re = v[0], im = v[1];
            P[k] = re * re + im * im;
            total += P[k];
        }
    return 0;
}

// The occupied band: the first bin where the running sum from the lowest
// frequency exceeds the lower tail, the first where it reaches the rest.
void occupiedBand(const Bins& bins, double total, double percent, double rate, Spectrum& out) {
    if (!(total > 0)) return;
    const int64_t n = bins.n;
    const double tail = (1.0 - percent / 100.0) / 2.0;
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

// Channel powers over the bins whose centre lies within +-B/2 of the
// channel's centre, and the largest bin inside and outside the main one.
void channelPowers(const Bins& bins, double rate, double bandwidth, double spacing, Spectrum& out) {
    const int64_t n = bins.n;
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
}

}  // namespace

template <class Reader>
int measureSpectrum(const Reader& x, int64_t n, const SpectrumRequest& request, Spectrum& out) {
    out = {kNone, kNone, kNone, kNone, kNone, kNone, kNone};
    Buffer<double> P;
    double total = 0;
    if (binPowers(x, n, P, total)) return -1;
    const Bins bins{P.get(), n, n / 2};
    occupiedBand(bins, total, request.obwPercent, request.rate, out);
    // By default the narrowest channel centred at 0 Hz that holds the occupied band.
    const double bandwidth =
        request.channelBandwidth > 0 ? request.channelBandwidth : 2.0 * std::max(-out.obwLower, out.obwUpper);
    const double spacing = request.channelSpacing > 0 ? request.channelSpacing : bandwidth;
    if (!(bandwidth > 0)) return 0;  // a silent buffer has no occupied band
    out.channelBandwidth = bandwidth;
    out.channelSpacing = spacing;
    channelPowers(bins, request.rate, bandwidth, spacing, out);
    return 0;
}

template int measureSpectrum(const Ci16Reader&, int64_t, const SpectrumRequest&, Spectrum&);
template int measureSpectrum(const Cf32Reader&, int64_t, const SpectrumRequest&, Spectrum&);
