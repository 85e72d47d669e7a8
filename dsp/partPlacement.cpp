#include "partPlacement.h"

#include <cmath>

#include "mathConstants.h"

namespace {

constexpr int64_t kBlock = 4096;

double carrierAngle(const PartCarrier& c, int64_t n, int64_t length) {
    if (c.whole) {
        // (cycles n) mod length in integers: cycles and n are below 2^26.
        int64_t k = c.cycles % length;
        if (k < 0) k += length;
        const int64_t r = (k * n) % length;
        return kTwoPi * (static_cast<double>(r) / static_cast<double>(length)) + c.phase;
    }
    const double turns = c.cyclesPerSample * static_cast<double>(n);
    return kTwoPi * (turns - std::floor(turns)) + c.phase;
}

}  // namespace

void placePart(const std::complex<float>* part, int64_t partLength, int64_t length, int64_t delay, float gain,
               const BurstPattern& bursts, std::complex<float>* out) {
    int64_t d = delay % length;
    if (d < 0) d += length;
#pragma omp parallel for schedule(static)
    for (int64_t n = 0; n < length; ++n) {
        int64_t m = n - d;
        if (m < 0) m += length;
        const float g = gain * burstGain(bursts, n);
        out[n] = part[m % partLength] * g;
    }
}

void addRotated(const std::complex<float>* x, int64_t length, const PartCarrier& carrier, std::complex<double>* sum) {
    const int64_t blocks = (length + kBlock - 1) / kBlock;
    const double step = carrierAngle(carrier, 1, length) - carrier.phase;
    const double sc = std::cos(step), ss = std::sin(step);
#pragma omp parallel for schedule(static)
    for (int64_t b = 0; b < blocks; ++b) {
        const int64_t lo = b * kBlock, hi = lo + kBlock < length ? lo + kBlock : length;
        const double a0 = carrierAngle(carrier, lo, length);
        double tc = std::cos(a0), ts = std::sin(a0);
        for (int64_t n = lo; n < hi; ++n) {
            const double re = x[n].real(), im = x[n].imag();
            sum[n] += std::complex<double>(re * tc - im * ts, re * ts + im * tc);
            const double nc = tc * sc - ts * ss;
            ts = tc * ss + ts * sc;
            tc = nc;
        }
    }
}
