// A scene part put in its place on the loop: its samples repeated (or cut)
// to the loop's length and delayed circularly, gated by its bursts and set
// to its level (placePart, into a float buffer the part's own channel can
// take), then turned by its phase and carrier offset and added to the sum
// (addRotated). The carrier's phase is computed afresh at the start of
// every fixed block of samples and stepped inside it, so the sum is the
// same bits at any thread count.
#pragma once

#include <complex>
#include <cstdint>

#include "burstGate.h"

// The carrier of a part: a whole number of cycles over the loop (exact,
// phase from integers), or a rate in cycles per sample (defined mode).
struct PartCarrier {
    bool whole = true;
    int64_t cycles = 0;          // over the loop, when whole
    double cyclesPerSample = 0;  // otherwise
    double phase = 0;            // rad at sample 0
};

// out[n] = gain * gate(n) * part[((n - delay) mod n) mod partLength], n < length.
void placePart(const std::complex<float>* part, int64_t partLength, int64_t length, int64_t delay, float gain,
               const BurstPattern& bursts, std::complex<float>* out);

// sum[n] += x[n] * e^(j (2 pi f n + phase)), n < length.
void addRotated(const std::complex<float>* x, int64_t length, const PartCarrier& carrier, std::complex<double>* sum);

// An always-on part as placePart and addRotated take it.
struct PlacedPart {
    const std::complex<float>* part;
    int64_t partLength;
    int64_t delay;
    float gain;
    PartCarrier carrier;
};

// placePart and addRotated of each part in turn, in one pass over the sum
// and without the float buffer between them: the same bits as the two.
void addPlaced(const PlacedPart* parts, int count, int64_t length, std::complex<double>* sum);

// The parts' sum alone, rounded once: out[n] is the float of what addPlaced
// leaves in a zeroed double sum, without the double sum's memory. 0, or -3
// with the reason when each thread's block cannot be had.
int sumPlaced(const PlacedPart* parts, int count, int64_t length, std::complex<float>* out);
