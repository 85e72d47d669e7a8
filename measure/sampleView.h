// A measured buffer as complex values in int16 counts, whatever its format:
// int16 I/Q as stored, or float I/Q where 1.0 is 32767 counts. The
// measurements are written once, as templates over the two readers.
#pragma once

#include <complex>
#include <cstdint>

struct Ci16Reader {
    const int16_t* iq;
    double re(int64_t i) const { return iq[2 * i]; }
    double im(int64_t i) const { return iq[2 * i + 1]; }
};

struct Cf32Reader {
    const float* iq;
    double re(int64_t i) const { return static_cast<double>(iq[2 * i]) * 32767.0; }
    double im(int64_t i) const { return static_cast<double>(iq[2 * i + 1]) * 32767.0; }
};

// A buffer the measurement made itself (the received signal at the symbol
// instants), complex in counts.
struct Cd64Reader {
    const std::complex<double>* z;
    double re(int64_t i) const { return z[i].real(); }
    double im(int64_t i) const { return z[i].imag(); }
};

// Calls f(reader) with the reader for the buffer's format.
template <class F>
auto withReader(const void* samples, bool floats, F f) {
    return floats ? f(Cf32Reader{static_cast<const float*>(samples)})
                  : f(Ci16Reader{static_cast<const int16_t*>(samples)});
}
