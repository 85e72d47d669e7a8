// The second half of every entry point, shared with tests and benchmarks:
// find the peak, store the count, scale and round every sample into the
// object's I/Q buffer and hand it over. It takes the generated waveform's
// array; when the buffer has to grow, the samples are converted in place
// and their array becomes the new buffer. A waveform that comes as runs is
// converted run by run, without a sample array. Returns 0 or -1 (a count of
// 2^30 samples or more, a sample that is not finite, a peak that fixes no
// scale, an empty result on an object that never had a buffer, no memory
// for the buffer).
#pragma once

#include <complex>
#include <cstdint>

class GenSignalClass;
template <class Sample>
struct GeneratedWave;

// The peak magnitude the samples are scaled to: 32766 as defined, lower
// when a handle asks for headroom.
constexpr double kDefinedFullScale = 32766.0;

template <class Sample>
int deliverWave(GenSignalClass* obj, GeneratedWave<Sample>& wave, int16_t** iq, int* count,
                double fullScale = kDefinedFullScale);
extern template int deliverWave(GenSignalClass*, GeneratedWave<double>&, int16_t**, int*, double);
extern template int deliverWave(GenSignalClass*, GeneratedWave<float>&, int16_t**, int*, double);
extern template int deliverWave(GenSignalClass*, GeneratedWave<std::complex<float>>&, int16_t**, int*, double);

// The same for `n` samples in a malloc'ed array, which it takes over.
int deliverSamples(GenSignalClass* obj, double* samples, int n, int16_t** iq, int* count,
                   double fullScale = kDefinedFullScale);
int deliverSamples(GenSignalClass* obj, float* samples, int n, int16_t** iq, int* count,
                   double fullScale = kDefinedFullScale);
int deliverSamples(GenSignalClass* obj, std::complex<float>* samples, int n, int16_t** iq, int* count,
                   double fullScale = kDefinedFullScale);
