// I/Q imbalance with half of each error on each rail: gain imbalance A dB,
// phase imbalance P degrees, gI = 10^(A/40), gQ = 10^(-A/40), t = P/2:
//   I' = gI I cos t - gQ Q sin t,   Q' = -gI I sin t + gQ Q cos t
// (each product left to right in double). A tone's image then lies
// 10 log10[(1 + 2 g cos P + g^2) / (1 - 2 g cos P + g^2)] dB below it, g = 10^(A/20).
#pragma once

#include <complex>
#include <cstdint>

struct IqImbalance {
    double gainI = 1, gainQ = 1, cosine = 1, sine = 0;
};

IqImbalance iqImbalanceFor(double gainDb, double phaseDeg);

// The image rejection of the closed form, dB (infinite without imbalance).
double imageRejectionDb(double gainDb, double phaseDeg);

void applyIqImbalance(const IqImbalance& q, std::complex<float>* x, int64_t first, int64_t last);
