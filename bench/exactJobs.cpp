// Jobs of the exact loop mode beside their defined twins, through the public
// C API: the same record where the defined output is as long, else a count
// that makes it as long.
#include <cstring>

#include "jobs.h"
#include "wrapperGenSignalWave.h"

namespace {

int exactOn(int handle, int phases) {
    return GenSignalSetOption(handle, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT) ||
           GenSignalSetOption(handle, GENSIGNAL_OPTION_TONE_PHASES, phases);
}

// QPSK at 1.023 Msym/s, root raised cosine (0.35, 6 symbols), 8 samples per
// symbol, PN order 15, seed 1, into 10 MS/s.
DigitalModParams qpsk() {
    DigitalModParams p;
    std::memset(&p, 0, sizeof p);
    p.modType = QPSK;
    p.symbolRate = 1.023e6;
    p.pnOrder = 15;
    p.pnSeed = 1;
    p.filterType = RRCOS;
    p.filterSpan = 6;
    p.samplesPerSymbol = 8;
    p.rolloff = 0.35;
    return p;
}

// Defined: 1,023,000 symbols, about 10^7 samples.
int qpskDefined(int handle, int16_t** iq, int* count) {
    const DigitalModParams p = qpsk();
    return GenerateDigitalModWaveform(handle, &p, 1023000, iq, count, 10e6);
}

// Exact: 1000 symbols close after 1023 periods, 10^7 samples.
int qpskExact(int handle, int16_t** iq, int* count) {
    if (exactOn(handle, GENSIGNAL_TONE_PHASES_ZERO)) return -1;
    const DigitalModParams p = qpsk();
    return GenerateDigitalModWaveform(handle, &p, 1000, iq, count, 10e6);
}

// 64 tones 100 Hz apart at 30.72 MS/s: one common period, 614,400 samples.
int multitone(int handle, int16_t** iq, int* count) {
    MultitoneParams p;
    std::memset(&p, 0, sizeof p);
    p.toneCount = 64;
    p.toneSpacing = 100.0;
    return GenerateMultitoneWaveform(handle, &p, iq, count, 30.72e6);
}

int multitoneExact(int handle, int16_t** iq, int* count) {
    if (exactOn(handle, GENSIGNAL_TONE_PHASES_NEWMAN)) return -1;
    return multitone(handle, iq, count);
}

}  // namespace

const Job kExactJobs[] = {
    {"QPSK_RRC_1.023M_10MHz_defined", qpskDefined},
    {"QPSK_RRC_1.023M_10MHz_exact", qpskExact},
    {"Multitone64_100Hz_30.72MHz_defined", multitone},
    {"Multitone64_100Hz_30.72MHz_exact", multitoneExact},
};
const int kExactJobCount = static_cast<int>(sizeof kExactJobs / sizeof kExactJobs[0]);
