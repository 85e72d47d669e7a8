#include "fractionalDelay.h"

#include <cmath>
#include <cstring>

#include "besselI0.h"
#include "cpuDispatch.h"
#include "mathConstants.h"

namespace {

double sinc(double x) { return x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x); }

// Outputs filtered at a time: whole vectors of either kernel set, held in
// registers while every tap adds to them.
constexpr int kChunk = 32;

// y[i] = c[0] w[i] + c[1] w[i - 1] + ... (each sum in tap order) for i <
// count, w pointing at the newest input of output 0.
void filterRail(const float* w, const float* c, int taps, int count, float* y) {
    auto body = [](const float* __restrict w, const float* __restrict c, int taps, int count, float* __restrict y)
                    GENSIGNAL_KERNEL_BODY {
                        int i0 = 0;
                        for (; i0 + kChunk <= count; i0 += kChunk) {
                            float acc[kChunk];
                            const float* base = w + i0;
                            const float c0 = c[0];
                            for (int j = 0; j < kChunk; ++j) acc[j] = c0 * base[j];
                            for (int l = 1; l < taps; ++l) {
                                const float cl = c[l];
                                const float* from = base - l;
                                for (int j = 0; j < kChunk; ++j) acc[j] += cl * from[j];
                            }
                            for (int j = 0; j < kChunk; ++j) y[i0 + j] = acc[j];
                        }
                        for (int i = i0; i < count; ++i) {
                            float acc = c[0] * w[i];
                            for (int l = 1; l < taps; ++l) acc += c[l] * w[i - l];
                            y[i] = acc;
                        }
                    };
    runForKernels(body, w, c, taps, count, y);
}

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

void copyCircular(const float* x, int64_t n, int64_t start, int64_t count, float* out) {
    int64_t at = floorMod(start, n);
    while (count > 0) {
        const int64_t piece = count < n - at ? count : n - at;
        std::memcpy(out, x + at, static_cast<size_t>(piece) * sizeof *x);
        out += piece;
        count -= piece;
        at = 0;
    }
}

const float* delayBlock(const FractionalDelay& d, const float* x, int64_t n, int64_t first, int count, float* window,
                        float* out) {
    if (d.taps == 1) {
        const int64_t start = floorMod(first - d.shift, n);
        if (start + count <= n) return x + start;
        copyCircular(x, n, start, count, out);
        return out;
    }
    // window[i] = x[first - shift - (taps - 1) + i]: output u reads
    // window[u + taps - 1 - l]; the buffer itself where it does not wrap.
    const int64_t start = floorMod(first - d.shift - (d.taps - 1), n);
    const int64_t length = count + d.taps - 1;
    const float* from = x + start;
    if (start + length > n) {
        copyCircular(x, n, start, length, window);
        from = window;
    }
    filterRail(from + (d.taps - 1), d.coefficient, d.taps, count, out);
    return out;
}
