// A memoryless amplifier driven at an input back-off: the input's RMS lies
// backoffDb below the saturation amplitude, so the drive does not depend on
// the buffer's scale. The output stays in the buffer's units with the
// model's small-signal gain (1 for Rapp, alpha_a for Saleh).
//   Rapp:  y = x / (1 + (|x| / Vsat)^(2p))^(1/(2p))
//   Saleh: y = x alpha_a / (1 + beta_a r^2) e^(i alpha_phi r^2 / (1 + beta_phi r^2)),
//          r = |x| in units where the saturation amplitude is 1 / sqrt(beta_a)
#pragma once

#include <complex>
#include <cstdint>

#include "wrapperGenSignalWave.h"

constexpr double kSalehAlphaA = 2.1587, kSalehBetaA = 1.1517, kSalehAlphaPhi = 4.0033, kSalehBetaPhi = 9.1040;
constexpr double kRappSmoothness = 2;

struct Amplifier {
    int model = GENSIGNAL_PA_OFF;
    double scale = 0;  // |x|^2 times this: (|x| / Vsat)^2 for Rapp, r^2 for Saleh
    double p = kRappSmoothness;
    double alphaA = kSalehAlphaA, betaA = kSalehBetaA, alphaPhi = kSalehAlphaPhi, betaPhi = kSalehBetaPhi;
};

// The amplifier of a checked record for a buffer of mean power `meanPower` > 0.
Amplifier amplifierFor(const GenSignalChannel& channel, double meanPower);

// x[first, last) through the amplifier, in place.
void amplify(const Amplifier& a, std::complex<float>* x, int64_t first, int64_t last);
