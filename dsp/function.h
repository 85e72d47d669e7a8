// Free DSP functions, constellation tables and the count limits shared by
// the generators.
#pragma once

#include <complex>
#include <cstdint>

// 2*pi as every phase computation in the library spells it.
constexpr double kTwoPi = 6.283185307179586;

// Start state of the order-9 register that draws the payload bits of the
// spread-spectrum and OFDM waveforms (element 0 first).
constexpr signed char kPnDataStart[9] = {0, 0, 0, 0, 0, 1, 0, 1, 0};

// True for a finite value above 0; false for NaN, infinities, 0 and below.
inline bool finitePositive(double x) { return x > 0 && x <= 1.7976931348623157e308; }

// The largest sample count a waveform may have: the frame hands out 2n
// int16 values as an int, so n must stay below 2^30.
constexpr int kMaxSamples = 1 << 30;

// True when a derived count (computed in double) is finite, not negative and
// below kMaxSamples, so that it converts to int and doubles without overflow.
inline bool countFits(double v) { return v >= 0.0 && v < static_cast<double>(kMaxSamples); }

// True when a > 0 and b > 0 and a * b stays below kMaxSamples.
inline bool productFits(int64_t a, int64_t b) { return a > 0 && b > 0 && a <= kMaxSamples / b && a * b < kMaxSamples; }

// The exact number of samples the Farrow resampler writes for n input
// samples (0 for n = 0), found by its own stop rule: the smallest k >= 1 with
// floor(k * (inRate / outRate)) >= n in double. -1 when a rate is not
// positive and finite, n is negative, or the count would reach kMaxSamples.
// Callers of FarrowInterp size their output arrays to at least this.
int farrowOutputLength(int n, double outRate, double inRate);

// AM and FM buffers hold a whole number of modulation periods when they can:
// the first of 1, 10, 100, 1000 periods whose length in samples is whole
// (within 1e-12), else 10000.
double wholePeriodCount(double samplesPerPeriod);

// Modulating wave at t_i = i * (1 / sampleRate), i < n: 1 sine (-1 ... 1),
// 2 square (1 for the first half period, then 0), 3 triangle (0 up to 1 and
// back), 4 sawtooth (0 up to 1). False for any other shape, nothing written.
bool modulatingWave(int shape, double modFrequency, double sampleRate, int n, double* x);

// The shapes modulatingWave knows, and the rule as a refusal states it.
inline bool knownModShape(int shape) { return shape >= 1 && shape <= 4; }
constexpr char kModShapeRule[] = "must be 1 (sine), 2 (square), 3 (triangle) or 4 (sawtooth)";

// Spreads `value` over `width` bits, most significant first (array new).
void dec2bin(int value, int width, signed char** bits);
// The same into the caller's array of `width` elements.
void dec2binInto(int value, int width, signed char* bits);

// In-place radix-2 inverse FFT, single precision, scaled by 1/n.
void my_ifft(std::complex<float>* data, int n);

// Standard normal values by the polar method over the C library's rand().
double randn();

// Constellation tables (integer grid levels, not normalised).
extern const std::complex<float> qam8[8];
extern const std::complex<float> qam16[16];
extern const std::complex<float> qam64[64];
extern const std::complex<float> qam256[256];
extern const std::complex<float> qam1024[1024];
extern const std::complex<float> apsk16[16];
