#include "iqImbalance.h"

#include <cmath>

#include "mathConstants.h"

IqImbalance iqImbalanceFor(double gainDb, double phaseDeg) {
    IqImbalance q;
    q.gainI = std::pow(10.0, gainDb / 40);
    q.gainQ = std::pow(10.0, -gainDb / 40);
    const double t = phaseDeg / 2 * (kPi / 180);
    q.cosine = std::cos(t);
    q.sine = std::sin(t);
    return q;
}

double imageRejectionDb(double gainDb, double phaseDeg) {
    const double g = std::pow(10.0, gainDb / 20);
    const double c = std::cos(phaseDeg * (kPi / 180));
    return 10 * std::log10((1 + 2 * g * c + g * g) / (1 - 2 * g * c + g * g));
}

void applyIqImbalance(const IqImbalance& q, std::complex<float>* x, int64_t first, int64_t last) {
    for (int64_t j = first; j < last; ++j) {
        const double i = x[j].real(), v = x[j].imag();
        const double iOut = q.gainI * i * q.cosine - q.gainQ * v * q.sine;
        const double qOut = -q.gainI * i * q.sine + q.gainQ * v * q.cosine;
        x[j] = {static_cast<float>(iOut), static_cast<float>(qOut)};
    }
}
