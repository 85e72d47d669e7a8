// The constellation tables (integer grid levels, not normalised); the
// mappers are members of GenSignalClass.
#pragma once

#include <complex>

extern const std::complex<float> qam8[8];
extern const std::complex<float> qam16[16];
extern const std::complex<float> qam64[64];
extern const std::complex<float> qam256[256];
extern const std::complex<float> qam1024[1024];
extern const std::complex<float> apsk16[16];
