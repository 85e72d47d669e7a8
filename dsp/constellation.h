// The constellation tables (integer grid levels, not normalised); the
// mappers are members of GenSignalClass.
#pragma once

#include <complex>

#include "wrapperGenSignalWave.h"

extern const std::complex<float> qam8[8];
extern const std::complex<float> qam16[16];
extern const std::complex<float> qam64[64];
extern const std::complex<float> qam256[256];
extern const std::complex<float> qam1024[1024];
extern const std::complex<float> apsk16[16];

// The point of each symbol value 0 ... count - 1 of a modulation, as its
// mapper maps a lone symbol (for the layers that do not see the class).
void alphabetPoints(DigitalModulType type, int count, std::complex<float>* out);
