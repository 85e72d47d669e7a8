// The second half of every entry point, shared with tests and benchmarks:
// find the peak, store the count, scale and round every sample into the
// object's I/Q buffer and hand it over. Takes ownership of the malloc'ed
// `samples` and frees it on every path; when the buffer has to grow, the
// samples are converted in place and their array becomes the new buffer.
// Returns 0 or -1 (a count of 2^30 samples or more, a sample that is not
// finite, an empty result on an object that never had a buffer).
#pragma once

#include <complex>
#include <cstdint>

class GenSignalClass;

int deliverSamples(GenSignalClass* obj, double* samples, int n, int16_t** iq, int* count);
int deliverSamples(GenSignalClass* obj, float* samples, int n, int16_t** iq, int* count);
int deliverSamples(GenSignalClass* obj, std::complex<float>* samples, int n, int16_t** iq, int* count);

// The frame for a real waveform of `high` samples of 1.0 followed by
// n - high samples of 0.0, without the samples: the values are those the
// real-float conversion gives such an array, written as two runs.
int deliverTwoLevels(GenSignalClass* obj, int n, int high, int16_t** iq, int* count);
