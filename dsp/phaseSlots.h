// Phase generators write each sample's phase (a double) into the sample's
// own 8 bytes first, then turn it into the unit phasor (cos, sin) rounded to
// float in place: no separate phase array, and the libm calls, which are
// independent of each other, can run on any thread.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>

static_assert(sizeof(double) == sizeof(std::complex<float>), "a phase fits the slot of its sample");

// The slot is reached through memcpy: it holds a double now, floats later.
inline void storePhase(std::complex<float>* slot, double phi) { std::memcpy(static_cast<void*>(slot), &phi, 8); }
inline double loadPhase(const std::complex<float>* slot) {
    double phi;
    std::memcpy(&phi, slot, 8);
    return phi;
}

// x[i] = (cos phi_i, sin phi_i) rounded to float, phi_i read from x[i],
// for i < count. One sincos per sample: it gives the bits of cos and sin
// called apart (checked by a test over many arguments).
void phasorsFromPhases(std::complex<float>* x, size_t count);

// The same over n samples in blocks on every thread, for the loops whose
// phases are all summed before any phasor is formed.
void phasorsInBlocks(std::complex<float>* x, int64_t n);
