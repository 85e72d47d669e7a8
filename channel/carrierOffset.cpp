#include "carrierOffset.h"

#include <cmath>

#include "mathConstants.h"

namespace {

std::complex<double> turn(double radians) {
    double s, c;
    ::sincos(radians, &s, &c);
    return {c, s};
}

}  // namespace

void CarrierOffset::plan(double cfoHz, double phaseDeg, int64_t n, double sampleRate, bool closes,
                         int64_t wholeCycles) {
    identity_ = cfoHz == 0 && phaseDeg == 0;
    closes_ = closes;
    n_ = n;
    phase_ = phaseDeg * (kPi / 180);
    cyclesPerSample_ = cfoHz / sampleRate;
    if (closes_) {
        const int64_t r = wholeCycles % n;
        cycles_ = r < 0 ? r + n : r;
    }
    for (int u = 0; u < kRotationBlock; ++u)
        table_[u] = closes_ ? turn(kTwoPi * static_cast<double>((cycles_ * u) % n) / static_cast<double>(n))
                            : turn(kTwoPi * (cyclesPerSample_ * u));
}

std::complex<double> CarrierOffset::startOf(int64_t first) const {
    double cycles;
    if (closes_) {
        cycles = static_cast<double>((cycles_ * (first % n_)) % n_) / static_cast<double>(n_);
    } else {
        const double c = cyclesPerSample_ * static_cast<double>(first);
        cycles = c - std::floor(c);
    }
    return turn(kTwoPi * cycles + phase_);
}

void CarrierOffset::block(int64_t first, int count, std::complex<float>* out) const {
    const std::complex<double> start = startOf(first);
    for (int u = 0; u < count; ++u) {
        const std::complex<double> p = start * table_[u];
        out[u] = {static_cast<float>(p.real()), static_cast<float>(p.imag())};
    }
}
