// Example records of every kind, each large enough that the library splits
// its work over an OpenMP team, made through the public API only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wrapperGenSignalWave.h"

namespace examples {

// One call on a handle; its result code.
struct Example {
    std::string name;
    int (*generate)(int handle, int16_t** iq, int* count);
};

inline DigitalModParams digital(DigitalModulType mod, FilterType filter, int sps) {
    DigitalModParams p{};
    p.modType = mod;
    p.symbolRate = 1e6;
    p.freqDeviation = 250e3;
    p.pnOrder = 15;
    p.pnSeed = 1;
    p.filterType = filter;
    p.filterSpan = 6;
    p.samplesPerSymbol = sps;
    p.rolloff = 0.35;
    return p;
}

inline const std::vector<Example>& everyKind() {
    static const std::vector<Example> table = {
        {"QpskRrc",
         [](int h, int16_t** iq, int* n) {
             const DigitalModParams p = digital(QPSK, RRCOS, 8);
             return GenerateDigitalModWaveform(h, &p, 60000, iq, n, 8e6);
         }},
        {"QpskResampled",
         [](int h, int16_t** iq, int* n) {
             DigitalModParams p = digital(QPSK, RRCOS, 8);
             p.symbolRate = 1.023e6;
             return GenerateDigitalModWaveform(h, &p, 39996, iq, n, 10e6);
         }},
        {"Fsk4Gaussian",
         [](int h, int16_t** iq, int* n) {
             const DigitalModParams p = digital(FSK4, GAUSSIAN, 8);
             return GenerateDigitalModWaveform(h, &p, 40000, iq, n, 8e6);
         }},
        {"Dss",
         [](int h, int16_t** iq, int* n) {
             const DSSParams p{1e4, 1, 10, 6, 8, 0.35, 1, RRCOS};
             return GenerateDssWaveform(h, &p, 40, iq, n, 81.84e6);
         }},
        {"Fm",
         [](int h, int16_t** iq, int* n) {
             const FMModParams p{1000, 50e3, 1};
             return GenerateFmWaveform(h, &p, iq, n, 1e6);
         }},
        {"Multitone",
         [](int h, int16_t** iq, int* n) {
             const MultitoneParams p{{}, 64, 1001.5};
             return GenerateMultitoneWaveform(h, &p, iq, n, 1e6);
         }},
        {"StepSweep",
         [](int h, int16_t** iq, int* n) {
             const StepSweepParams p{-4e5, 4e5, 50, 1e-3};
             return GenerateStepSweepWaveform(h, &p, iq, n, 10e6);
         }},
        {"RampSweep",
         [](int h, int16_t** iq, int* n) {
             const RampSweepParams p{2e6, 2e-2, 5e-2};
             return GenerateRampSweepWaveform(h, &p, iq, n, 10e6);
         }},
        {"Ofdm",
         [](int h, int16_t** iq, int* n) {
             OFDMParams p{};
             p.fftSize = 1024;
             p.numSymbols = 300;
             p.guardLow = 100;
             p.guardHigh = 99;
             p.cpPercent = 7;
             p.windowing = 1;
             p.modType = QAM64;
             p.nullDC = 1;
             return GenerateOFDMWaveform(h, &p, iq, n, 15.36e6);
         }},
    };
    return table;
}

// A 20 MHz carrier at 122.88 MS/s: QAM64 on 1200 used subcarriers of 15 kHz
// (N = 8192), a quarter prefix, windowed; `symbols` of them.
inline OFDMParams twentyMhzCarrier(int symbols) {
    OFDMParams o{};
    o.fftSize = 8192;
    o.numSymbols = symbols;
    o.guardLow = 3496;
    o.guardHigh = 3495;
    o.cpPercent = 25;
    o.windowing = 1;
    o.modType = QAM64;
    o.nullDC = 1;
    return o;
}

constexpr double kFourCarrierRate = 122.88e6;

// Four parts of that carrier 20 MHz apart, phases and a microsecond of
// delay apart, as separate transmitters are.
inline std::vector<GenSignalScenePart> fourCarriers(const OFDMParams* carrier) {
    const double offsets[] = {-30e6, -10e6, 10e6, 30e6};
    std::vector<GenSignalScenePart> parts(4);
    for (int i = 0; i < 4; ++i) {
        parts[i] = GenSignalScenePart{};
        parts[i].recordKind = GENSIGNAL_RECORD_OFDM;
        parts[i].record = carrier;
        parts[i].frequencyOffset = offsets[i];
        parts[i].phaseDeg = 37.0 * i * i;
        parts[i].delay = i * 1e-6;
    }
    return parts;
}

// Those parts as one scene at kFourCarrierRate, brought to 7.5 dB PAPR by
// `cfr` (GENSIGNAL_CFR_OFF: as made); `parts` must outlive it.
inline GenSignalScene fourCarrierScene(const std::vector<GenSignalScenePart>& parts, int cfr) {
    GenSignalScene s{};
    s.sampleRate = kFourCarrierRate;
    s.partCount = static_cast<int32_t>(parts.size());
    s.parts = parts.data();
    s.cfrMethod = cfr;
    s.cfrTargetPaprDb = 7.5;
    return s;
}

}  // namespace examples
