#include "fuzzInput.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

namespace fuzzing {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const double kEdgeReals[] = {
    0.0,          -0.0,         1.0,         -1.0,         kNaN,         -kNaN,    kInf,
    -kInf,        4.9e-324,     -4.9e-324,   DBL_MIN,      DBL_MAX,      -DBL_MAX, 1e300,
    -1e300,       1e-300,       -1e-300,     FLT_MAX,      -FLT_MAX,     FLT_MIN,  1073741824.0,
    1073741823.0, 1073741825.0, 536870912.0, 2147483648.0, 4294967296.0, 0.5,      2.0,
    1e-6,         1e-9,         1e-12,       1e9,          1e12,         1e18,     0.3499999940395355,
    1e-15,        1e-20,        1e-30,       1e-40,        1.4e-45,
};
constexpr int kEdgeRealCount = sizeof kEdgeReals / sizeof kEdgeReals[0];

const int kEdgeIntegers[] = {
    0,
    1,
    -1,
    2,
    3,
    4,
    5,
    INT_MIN,
    INT_MIN + 1,
    INT_MAX,
    INT_MAX - 1,
    1 << 30,
    (1 << 30) - 1,
    (1 << 30) + 1,
    1 << 29,
    (1 << 29) + 1,
    1 << 28,
    1 << 26,
    1 << 20,
    65536,
    65535,
    32768,
    32767,
    33,
    32,
    31,
    -2,
    -32768,
};
constexpr int kEdgeIntegerCount = sizeof kEdgeIntegers / sizeof kEdgeIntegers[0];

// Fraction in [0, 1] from two bytes.
double unit(FuzzInput& in) { return static_cast<double>(in.bits(2)) / 65535.0; }

double twoDigits(double v) {
    if (!(v > 0)) return v;
    const double scale = std::pow(10.0, std::floor(std::log10(v)) - 1);
    return std::round(v / scale) * scale;
}

}  // namespace

uint64_t FuzzInput::bits(int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(byte()) << (8 * i);
    return v;
}

double FuzzInput::realistic(double lo, double hi) {
    const uint8_t shape = byte();
    const double t = unit(*this);
    double v = lo > 0 ? lo * std::pow(hi / lo, t) : lo + (hi - lo) * t;
    if (shape & 1) v = twoDigits(v);  // round values make whole periods and locked rates likely
    return std::fmin(std::fmax(v, lo), hi);
}

double FuzzInput::real(double lo, double hi) {
    const uint8_t selector = byte();
    if (selector < 128) return realistic(lo, hi);
    return kEdgeReals[selector % kEdgeRealCount];
}

double FuzzInput::signedReal(double lo, double hi) {
    const uint8_t selector = byte();
    if (selector < 128) return (selector & 1 ? -1 : 1) * realistic(lo, hi);
    return kEdgeReals[selector % kEdgeRealCount];
}

int FuzzInput::integer(int lo, int hi) {
    const uint8_t selector = byte();
    if (selector >= 128) return kEdgeIntegers[selector % kEdgeIntegerCount];
    const double span = static_cast<double>(hi) - lo;
    if (lo > 0 && hi / lo > 64) {  // wide range: log-uniform, so small counts are as likely as large ones
        const double v = std::round(lo * std::pow(static_cast<double>(hi) / lo, unit(*this)));
        return static_cast<int>(std::fmin(std::fmax(v, lo), hi));
    }
    return lo + static_cast<int>(static_cast<double>(bits(4)) / 4294967296.0 * (span + 1));
}

int FuzzInput::powerOfTwo(int maxLog) {
    const uint8_t selector = byte();
    if (selector >= 128) return kEdgeIntegers[selector % kEdgeIntegerCount];
    return 1 << (byte() % (maxLog + 1));
}

double FuzzInput::rate(double locked) {
    const uint8_t selector = byte();
    if (selector < 96) return realistic(1e3, 1e9);
    if (selector < 128) {
        if (!std::isfinite(locked)) return locked;
        // Exactly locked, or just inside or outside the generators' 1e-6 and
        // 1e-9 tolerances.
        static const double kNudges[] = {0.0, 0.0, 0.0, 5e-10, 2e-9, 5e-7, 2e-6, -2e-6};
        return locked + kNudges[selector % 8];
    }
    return kEdgeReals[selector % kEdgeRealCount];
}

}  // namespace fuzzing
