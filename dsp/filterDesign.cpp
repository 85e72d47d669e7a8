// Pulse-shaping tap sets: rectangle, raised cosine, root raised cosine,
// Gaussian and half-sine.
#include <climits>
#include <cmath>
#include <cstdint>

#include "function.h"
#include "genSignalClass.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kEps = 1e-12;

// A tap count that does not fit an int cannot be stored; the design then
// reports no taps and writes nothing.
bool storeCount(int64_t n, int* tapCount) {
    if (n > INT_MAX || n < INT_MIN) {
        *tapCount = 0;
        return false;
    }
    *tapCount = static_cast<int>(n);
    return true;
}

double raisedCosine(double beta, double t, int sps) {
    const double x = 2 * beta * t;
    const double d = std::fma(-x, x, 1.0);
    if (std::fabs(d) < kEps) return std::sin(kPi / (2 * beta)) * beta / (2.0 * sps);
    const double s = std::fabs(t) < kEps ? 1.0 : std::sin(kPi * t) / (kPi * t);
    return std::cos(beta * kPi * t) * s / d / sps;
}

double rootRaisedCosine(double beta, double t, int sps) {
    if (std::fabs(t) < kEps) return ((beta - 1) * kPi - 4 * beta) * (-1.0 / (sps * kPi));
    const double bt4 = 4 * beta * t;
    if (std::fabs(std::fabs(bt4) - 1) < kEps) {
        const double q = kPi * (beta - 1) / (4 * beta);
        return (kPi * (1 + beta) * std::sin(kPi * (1 + beta) / (4 * beta)) - 4 * beta * std::sin(q) +
                kPi * (beta - 1) * std::cos(q)) /
               (kTwoPi * sps);
    }
    return (-4 * beta / sps) * (std::cos((1 + beta) * kPi * t) + std::sin((1 - beta) * kPi * t) / bt4) /
           (kPi * (bt4 * bt4 - 1));
}

}  // namespace

void GenSignalClass::getFilter(FilterType type, double param, int span, int sps, float* taps, int* tapCount,
                               int* error) {
    *error = 0;
    switch (type) {
        case RECT:
            if (!storeCount(static_cast<int64_t>(sps) + 1, tapCount)) return;
            for (int i = 0; i < *tapCount; ++i) taps[i] = 1.0f;
            return;
        case RCOS:
            rcosdesignForC(param, span, sps, "normal", taps, tapCount);
            return;
        case RRCOS:
            rcosdesignForC(param, span, sps, "sqrt", taps, tapCount);
            return;
        case GAUSSIAN:
            gaussdesignForC(param, span, sps, taps, tapCount);
            return;
        case HALF_SINE:
            if (!storeCount(static_cast<int64_t>(sps) + 1, tapCount)) return;
            if (sps >= 0)
                for (int i = 0; i <= sps; ++i)
                    taps[i] = static_cast<float>(std::sin(static_cast<double>(i) * kPi / static_cast<double>(sps)));
            return;
    }
    *error = -1;
    *tapCount = 0;
}

void GenSignalClass::rcosdesignForC(double beta, int span, int sps, char const* shape, float* taps, int* tapCount) {
    const int64_t half = static_cast<int64_t>(span) * sps / 2;
    const int64_t n64 = 2 * half + 1;
    if (!storeCount(n64, tapCount) || n64 < 1) return;
    const int n = static_cast<int>(n64);
    const bool normal = shape != nullptr && (static_cast<unsigned char>(shape[0]) & 0xDF) == 'N';
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i - half) / static_cast<double>(sps);
        const double h = normal ? raisedCosine(beta, t, sps) : rootRaisedCosine(beta, t, sps);
        taps[i] = static_cast<float>(h);
    }
    // Unit energy: squares in single precision, summed in double.
    double energy = 0.0;
    for (int i = 0; i < n; ++i) {
        const float sq = taps[i] * taps[i];
        energy += static_cast<double>(sq);
    }
    const double r = std::sqrt(energy);
    if (r > kEps)
        for (int i = 0; i < n; ++i) taps[i] = static_cast<float>(static_cast<double>(taps[i]) / r);
}

void GenSignalClass::gaussdesignForC(double bt, int span, int sps, float* taps, int* tapCount) {
    const int64_t n64 = static_cast<int64_t>(sps) * span + 1;
    if (!storeCount(n64, tapCount)) return;
    const double a = 0.5887050112577373 / bt;  // sqrt(ln 2 / 2) / BT
    const double amp = 1.7724538509055159 / a;  // sqrt(pi) / a
    const double u = 1.0 / sps;
    if (n64 < 1) return;
    const int n = static_cast<int>(n64);
    const double start = -static_cast<double>(span) * 0.5;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = std::fma(static_cast<double>(i), u, start);
        const double x = t * kPi / a;
        const double h = std::exp(-(x * x)) * amp;
        sum += h;
        taps[i] = static_cast<float>(h);
    }
    if (sum > 0)
        for (int i = 0; i < n; ++i) taps[i] = static_cast<float>(static_cast<double>(taps[i]) / sum);
}
