// Pulse-shaping tap sets: rectangle, raised cosine, root raised cosine,
// Gaussian and half-sine.
#include "filterDesign.h"

#include <climits>
#include <cmath>
#include <cstdint>

#include "floatRounding.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "mathConstants.h"

namespace {

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

const char* typeName(FilterType type) {
    switch (type) {
        case RECT: return "RECT";
        case RCOS: return "RCOS";
        case RRCOS: return "RRCOS";
        case GAUSSIAN: return "GAUSSIAN";
        case HALF_SINE: return "HALF_SINE";
    }
    return "?";
}

bool isFilterType(int type) { return type >= RECT && type <= HALF_SINE; }

constexpr char kTypeRule[] = "must be 1 (RECT), 2 (RCOS), 3 (RRCOS), 4 (GAUSSIAN) or 5 (HALF_SINE)";

}  // namespace

int checkPulseShape(const char* record, int filterType, int filterSpan, double rolloff, PulseShape* shape) {
    if (!isFilterType(filterType)) return refuse(-1, "%s.filterType = %d: %s", record, filterType, kTypeRule);
    const auto type = static_cast<FilterType>(filterType);
    const bool fixedSpan = type == RECT || type == HALF_SINE;
    const int span = fixedSpan ? 1 : filterSpan;
    if (span < 0) return refuse(-1, "%s.filterSpan = %d: must be at least 0", record, filterSpan);
    if (span > kMaxFilterSpan)
        return refuse(-1, "%s.filterSpan = %d: must be at most %d", record, filterSpan, kMaxFilterSpan);
    // The designs use the shape parameter in single precision. Where one
    // reads it, a value without a finite float, or one not above 0 where the
    // design divides by it, would give NaN taps.
    const float param = static_cast<float>(rolloff);
    if (!fixedSpan && !std::isfinite(param))
        return refuse(-1, "%s.rolloff = %s: must round to a finite float", record, numberText(rolloff).text);
    if ((type == RRCOS || type == GAUSSIAN) && !(param > 0))
        return refuse(-1, "%s.rolloff = %s: must round to a float above 0 for %s", record, numberText(rolloff).text,
                      typeName(type));
    *shape = PulseShape{type, span, static_cast<double>(param)};
    return 0;
}

int64_t designedTapCount(FilterType type, int span, int sps) {
    switch (type) {
        case RCOS:
        case RRCOS: return 2 * (static_cast<int64_t>(span) * sps / 2) + 1;
        case GAUSSIAN: return static_cast<int64_t>(sps) * span + 1;
        default: return static_cast<int64_t>(sps) + 1;  // RECT, HALF_SINE
    }
}

void GenSignalClass::getFilter(FilterType type, double param, int span, int sps, float* taps, int* tapCount,
                               int* error) {
    *error = 0;
    switch (type) {
        case RECT:
            if (!storeCount(designedTapCount(RECT, span, sps), tapCount)) return;
            for (int i = 0; i < *tapCount; ++i) taps[i] = 1.0f;
            return;
        case RCOS: rcosdesignForC(param, span, sps, "normal", taps, tapCount); return;
        case RRCOS: rcosdesignForC(param, span, sps, "sqrt", taps, tapCount); return;
        case GAUSSIAN: gaussdesignForC(param, span, sps, taps, tapCount); return;
        case HALF_SINE:
            if (!storeCount(designedTapCount(HALF_SINE, span, sps), tapCount)) return;
            if (sps >= 0)
                for (int i = 0; i <= sps; ++i)
                    taps[i] = static_cast<float>(std::sin(static_cast<double>(i) * kPi / static_cast<double>(sps)));
            return;
    }
    *error = refuse(-1, "filterType = %d: %s", static_cast<int>(type), kTypeRule);
    *tapCount = 0;
}

void GenSignalClass::rcosdesignForC(double beta, int span, int sps, char const* shape, float* taps, int* tapCount) {
    const int64_t n64 = designedTapCount(RCOS, span, sps);
    const int64_t half = n64 / 2;
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
    const int64_t n64 = designedTapCount(GAUSSIAN, span, sps);
    if (!storeCount(n64, tapCount)) return;
    const double a = 0.5887050112577373 / bt;   // sqrt(ln 2 / 2) / BT
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

void noiseFilterTaps(double cutoff, int count, double* taps) {
    const int centre = count / 2;
    for (int k = 0; k < count; ++k) {
        const double window = 0.54 - 0.46 * std::cos(kTwoPi * k / (count - 1));
        const double t = k - centre;
        const double s = std::fabs(t) < 1e-12 ? cutoff : std::sin(cutoff * t * kPi) / (t * kPi);
        taps[k] = keptFloat(static_cast<double>(keptFloat(s)) * window);
    }
}

int designTaps(const PulseShape& shape, int sps, int64_t tapCount, Buffer<float>& taps) {
    taps = Buffer<float>(static_cast<size_t>(tapCount));
    if (!taps) return outOfMemory<float>(-3, static_cast<size_t>(tapCount), "filter taps");
    int designed = 0;
    int error = 0;  // the shape has been checked
    GenSignalClass::getFilter(shape.type, shape.param, shape.span, sps, taps.get(), &designed, &error);
    return 0;
}
