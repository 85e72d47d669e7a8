// The channel's stages in their order over a float buffer, in place:
// amplifier, multipath fading, timing offset, carrier offset with phase
// noise, additive noise, I/Q imbalance, DC offset. Every working array is
// had before the first sample changes, so a refusal (-1) or a lack of
// memory (-3) leaves the buffer as it was. Parallel work goes in fixed
// blocks, each worked whole by one thread, and sums are taken in block
// order: the same bits at any thread count.
#pragma once

#include <complex>
#include <cstdint>

#include "channelNotes.h"
#include "wrapperGenSignalWave.h"

// What the record that made the buffer says, and where notes go.
struct ChannelContext {
    double samplesPerSymbol = 0;  // sampleRate / symbol rate (spread spectrum: per data bit); 0: unknown
    double bitsPerSymbol = 0;     // data bits per symbol (1 for spread spectrum); 0: unknown
    bool spreadSpectrum = false;  // Es/N0 is not defined; Eb/N0 counts a bit over its chips
    bool exactLoop = false;       // the buffer is an exact loop: what breaks it is refused
    ChannelNotes* notes = nullptr;
};

// The record's checks and loop rules alone: 0, or -1 with the reason.
int checkChannel(const GenSignalChannel& channel, const ChannelContext& context, int64_t n, double sampleRate);

// Applies the channel to x[0, n). Realised powers are in the buffer's units.
int applyChannel(const GenSignalChannel& channel, const ChannelContext& context, std::complex<float>* x, int64_t n,
                 double sampleRate, GenSignalChannelRealised& realised);
