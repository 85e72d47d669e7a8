// The inverse FFT of the OFDM symbol modulator (the modulator itself is a
// member of GenSignalClass: ofdmmodForC).
#pragma once

#include <complex>

// In-place radix-2 inverse FFT, single precision, scaled by 1/n.
void my_ifft(std::complex<float>* data, int n);
