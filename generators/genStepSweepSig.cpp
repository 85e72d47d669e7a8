// Stepped sweep: a unit tone dwelling on S equally spaced frequencies centred
// on 0 Hz, with the phase running on continuously across the steps.
#include <cmath>

#include "function.h"
#include "genSignalClass.h"

int GenSignalClass::genStepSweepSig(StepSweepParams const* params, double sampleRate, std::complex<float>* samples,
                                    int* sampleCount) {
    if (!params || !samples || !sampleCount || !(sampleRate > 0) || !std::isfinite(sampleRate)) return -1;
    const int S = params->stepCount;
    if (S < 2) return -1;
    const double dwell = params->dwellTime;
    if (!(dwell > 0)) return -1;

    // A whole number of Hz, negative when the sweep runs downwards.
    const double delta = std::floor((params->stopFrequency - params->startFrequency) / (S - 1));
    if (!std::isfinite(delta)) return -1;

    const double length = std::floor(dwell * sampleRate * S);
    // Refuse lengths that are not finite or too long to hand out.
    if (!countFits(length)) return -1;
    const int N = static_cast<int>(length);
    if (N <= 0) return -1;

    // Step k sits at (k - (S - 1) / 2) * delta. Only the step in force is
    // needed, so it is formed when the step changes rather than kept in a list
    // of S entries: S may be far larger than the number of samples.
    const double centre = (S - 1) / 2.0;
    const double dt = 1 / sampleRate;
    int s = 1;
    double f = (0 - centre) * delta;
    double phi = 0;
    for (int i = 0; i < N; ++i) {
        if (s < S && s * dwell <= i * dt) {
            ++s;
            f = ((s - 1) - centre) * delta;
        }
        phi = std::fma(f * kTwoPi, dt, phi);
        samples[i] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }

    *sampleCount = N;
    return 0;
}
