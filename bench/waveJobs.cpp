// Jobs of the analog, sweep, noise, multitone, pulse and OFDM generators,
// through the public C API only (so that they build against an older
// library for a before figure), each with the peer it is compared with.
#include <cstring>

#include "jobs.h"
#include "wrapperGenSignalWave.h"

namespace {

// FM: a 1 Hz sine with 1 kHz deviation at 10 MHz, one period of 10^7 samples.
int generateFm(int handle, int16_t** iq, int* count) {
    const FMModParams p{1.0, 1000.0, 1};
    return GenerateFmWaveform(handle, &p, iq, count, 10e6);
}

// Linear chirp over the whole second at 10 MHz: 1 MHz swept, 10^7 samples.
int generateChirp(int handle, int16_t** iq, int* count) {
    const RampSweepParams p{1e6, 1.0, 1.0};
    return GenerateRampSweepWaveform(handle, &p, iq, count, 10e6);
}

// Band-limited noise: 1 MHz wide, 0.1 s at 10 MHz, 10^6 samples.
int generateNoise(int handle, int16_t** iq, int* count) {
    const AWGNParams p{1e6, 0.1};
    return GenerateAWGNWaveform(handle, &p, iq, count, 10e6);
}

// OFDM: N = 64, 20,000 QPSK symbols, guards 6 and 5, null DC, prefix 25 %
// (16 samples), no cross-fade: 1.6 * 10^6 samples.
int generateOfdm(int handle, int16_t** iq, int* count) {
    OFDMParams p;
    std::memset(&p, 0, sizeof p);
    p.fftSize = 64;
    p.numSymbols = 20000;
    p.guardLow = 6;
    p.guardHigh = 5;
    p.cpPercent = 25;
    p.windowing = 0;
    p.modType = QPSK;
    p.nullDC = 1;
    return GenerateOFDMWaveform(handle, &p, iq, count, 20e6);
}

// Multitone: 8 tones 20 Hz apart at 7 MHz, one period of 7 * 10^5 samples.
int generateMultitone(int handle, int16_t** iq, int* count) {
    MultitoneParams p;
    std::memset(&p, 0, sizeof p);
    p.toneCount = 8;
    p.toneSpacing = 20.0;
    return GenerateMultitoneWaveform(handle, &p, iq, count, 7e6);
}

// AM: a 1 Hz sine at 50 % depth, 10^7 samples at 10 MHz.
int generateAm(int handle, int16_t** iq, int* count) {
    const AMModParams p{1.0, 50.0, 1};
    return GenerateAmWaveform(handle, &p, iq, count, 10e6);
}

// Step sweep: 1000 steps from -2 to +2 MHz, 1 ms each, 10^7 samples.
int generateStepSweep(int handle, int16_t** iq, int* count) {
    const StepSweepParams p{-2e6, 2e6, 1000, 1e-3};
    return GenerateStepSweepWaveform(handle, &p, iq, count, 10e6);
}

// Pulse: 0.25 s high in a period of 1 s at 10 MHz, 10^7 samples.
int generatePulse(int handle, int16_t** iq, int* count) {
    const PulseParams p{0.25, 1.0};
    return GeneratePulseWaveform(handle, &p, iq, count, 10e6);
}

// The jobs without a peer of the same kind.
double noPeer() { return 0; }

}  // namespace

const Job kWaveJobs[] = {
    {"FM_sine_1kHz_dev_10MHz", generateFm, liquidFmRate, "liquid freqmod"},
    {"Chirp_1MHz_10MHz", generateChirp, plainChirpRate, "plain C sincosf chirp"},
    {"Noise_128taps_1e6", generateNoise, liquidNoiseRate, "liquid randnf + firfilt_crcf"},
    {"OFDM_64_QPSK_20000sym", generateOfdm, liquidOfdmRate, "liquid ofdmframegen"},
    {"Multitone_8_20Hz_7MHz", generateMultitone, liquidMultitoneRate, "liquid 8 x nco_crcf"},
    {"AM_sine_10MHz", generateAm, noPeer, "no peer"},
    {"StepSweep_1000_10MHz", generateStepSweep, noPeer, "no peer"},
    {"Pulse_10MHz", generatePulse, noPeer, "no peer"},
};
const int kWaveJobCount = static_cast<int>(sizeof kWaveJobs / sizeof kWaveJobs[0]);
