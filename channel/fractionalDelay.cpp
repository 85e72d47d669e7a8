#include "fractionalDelay.h"

#include <cmath>
#include <cstring>

#include "besselI0.h"
#include "mathConstants.h"

namespace {

double sinc(double x) { return x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x); }

int64_t floorMod(int64_t a, int64_t n) {
    const int64_t r = a % n;
    return r < 0 ? r + n : r;
}

}  // namespace

FractionalDelay designDelay(double delay, int64_t n) {
    FractionalDelay d;
    const double reduced = std::fmod(delay, static_cast<double>(n));
    const double wrapped = reduced < 0 ? reduced + static_cast<double>(n) : reduced;
    const double whole = std::floor(wrapped);
    const double fraction = wrapped - whole;
    const int64_t samples = static_cast<int64_t>(whole) % n;
    if (fraction == 0) {
        d.shift = samples;
        return d;
    }
    // Tap l weighs the input l - (kDelayTaps/2 - 1) - fraction samples from
    // the delayed instant.
    constexpr int centre = kDelayTaps / 2 - 1;
    const double i0Beta = besselI0(kDelayBeta);
    double h[kDelayTaps], sum = 0;
    for (int l = 0; l < kDelayTaps; ++l) {
        const double tau = static_cast<double>(l - centre) - fraction;
        const double t = tau / (kDelayTaps / 2);
        h[l] = sinc(tau) * (besselI0(kDelayBeta * std::sqrt(1 - t * t)) / i0Beta);
        sum += h[l];
    }
    d.taps = kDelayTaps;
    for (int l = 0; l < kDelayTaps; ++l) d.coefficient[l] = static_cast<float>(h[l] / sum);
    d.shift = floorMod(samples - centre, n);
    return d;
}

void copyCircular(const std::complex<float>* x, int64_t n, int64_t start, int64_t count, std::complex<float>* out) {
    int64_t at = floorMod(start, n);
    while (count > 0) {
        const int64_t piece = count < n - at ? count : n - at;
        std::memcpy(out, x + at, static_cast<size_t>(piece) * sizeof *x);
        out += piece;
        count -= piece;
        at = 0;
    }
}

void delayBlock(const FractionalDelay& d, const std::complex<float>* x, int64_t n, int64_t first, int count,
                std::complex<float>* window, std::complex<float>* out) {
    if (d.taps == 1) {
        copyCircular(x, n, first - d.shift, count, out);
        return;
    }
    // window[i] = x[first - shift - (taps - 1) + i]: output u reads window[u + taps - 1 - l].
    copyCircular(x, n, first - d.shift - (d.taps - 1), count + d.taps - 1, window);
    const float* w = reinterpret_cast<const float*>(window);
    float* y = reinterpret_cast<float*>(out);
    const int values = 2 * count;
    const float* start = w + 2 * (d.taps - 1);
    const float c0 = d.coefficient[0];
    for (int i = 0; i < values; ++i) y[i] = c0 * start[i];
    for (int l = 1; l < d.taps; ++l) {
        const float c = d.coefficient[l];
        const float* from = start - 2 * l;
        for (int i = 0; i < values; ++i) y[i] += c * from[i];
    }
}
