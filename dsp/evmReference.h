// What a buffer is compared with when the record that made it is known:
// the record's symbols (or chips, or subcarrier values) as the generator
// sends them, with the pulse and the layout that put them into the buffer;
// and the record's own band. Made by the generators, read by the
// measurements.
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"
#include "wrapperGenSignalWave.h"

// A pulse-shaped symbol stream at its symbol-locked rate (digital kinds but
// FSK, spread spectrum): one period of `symbols` symbols, `sps` samples each.
struct LinearReference {
    Buffer<std::complex<float>> points;  // the period's symbols as mapped
    int symbols = 0;                     // N
    int sps = 0;
    FilterType filter = RECT;
    Buffer<float> taps;  // the transmit pulse, as designed for the generator
    int tapCount = 0;
    int quadratureDelay = 0;  // OQPSK: the quadrature part comes sps/2 samples later
    int64_t length = 0;       // samples the record makes: N sps, or one more
    // Samples of the measured buffer: `length`, or another count when the
    // record resamples, the buffer then holding `periods` periods of the
    // symbols at another rate (the exact loop mode's whole periods, or the
    // defined mode's one), sampled again at the symbol-locked rate before
    // EVM is measured.
    int64_t bufferSamples = 0;
    int periods = 1;
};

// An OFDM frame: `used` subcarrier values per symbol.
struct OfdmReference {
    Buffer<short> values;            // symbols * used data symbols, symbol after symbol
    std::complex<float> table[256];  // the point of each data symbol
    Buffer<int> bins;                // transform bin of each used subcarrier
    int fftSize = 0, prefix = 0, symbols = 0, used = 0;
    int bodyOffset = 0;  // where each slot's N body samples start (0 when cross-faded)
    int64_t length = 0;
};

struct RecordReference {
    int evmStatus = GENSIGNAL_EVM_NO_RECORD;  // MEASURED when a reference below was made
    bool ofdm = false;                        // which of the two
    LinearReference linear;
    OfdmReference frame;
    double channelBandwidth = 0;  // Hz: the band the record states, 0 when none
};
