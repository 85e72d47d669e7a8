#include "amplifier.h"

#include <cmath>

Amplifier amplifierFor(const GenSignalChannel& c, double meanPower) {
    Amplifier a;
    a.model = c.paModel;
    if (c.paSmoothness != 0) a.p = c.paSmoothness;
    if (c.salehAlphaA != 0) a.alphaA = c.salehAlphaA;
    if (c.salehBetaA != 0) a.betaA = c.salehBetaA;
    if (c.salehAlphaPhi != 0) a.alphaPhi = c.salehAlphaPhi;
    if (c.salehBetaPhi != 0) a.betaPhi = c.salehBetaPhi;
    // The saturation amplitude squared in the buffer's units: the mean power
    // backoffDb up.
    const double saturation = meanPower * std::pow(10.0, c.paBackoffDb / 10);
    // Rapp: (|x| / Vsat)^2. Saleh: r = |x| / (sqrt(saturation) sqrt(beta_a)).
    a.scale = a.model == GENSIGNAL_PA_SALEH ? 1 / (saturation * a.betaA) : 1 / saturation;
    return a;
}

void amplify(const Amplifier& a, std::complex<float>* x, int64_t first, int64_t last) {
    if (a.model == GENSIGNAL_PA_RAPP) {
        const bool square = a.p == 2;
        const double exponent = -1 / (2 * a.p);
        for (int64_t i = first; i < last; ++i) {
            const double re = x[i].real(), im = x[i].imag();
            const double s = (re * re + im * im) * a.scale;
            // (1 + s^p)^(-1/(2p)); for p = 2 by square roots, which round no worse.
            const double g = square ? 1 / std::sqrt(std::sqrt(1 + s * s)) : std::pow(1 + std::pow(s, a.p), exponent);
            x[i] = {static_cast<float>(re * g), static_cast<float>(im * g)};
        }
        return;
    }
    for (int64_t i = first; i < last; ++i) {
        const double re = x[i].real(), im = x[i].imag();
        const double r2 = (re * re + im * im) * a.scale;
        const double g = a.alphaA / (1 + a.betaA * r2);
        const double phi = a.alphaPhi * r2 / (1 + a.betaPhi * r2);
        double s, c;
        ::sincos(phi, &s, &c);
        x[i] = {static_cast<float>(g * (re * c - im * s)), static_cast<float>(g * (re * s + im * c))};
    }
}
