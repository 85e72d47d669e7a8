#include "entryPoints.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "am.h"
#include "awgn.h"
#include "digital.h"
#include "dss.h"
#include "entryPointCheck.h"
#include "fm.h"
#include "fuzzInput.h"
#include "genSignalClass.h"
#include "loopLength.h"
#include "multitone.h"
#include "ofdm.h"
#include "pulse.h"
#include "rampSweep.h"
#include "stepSweep.h"
#include "wrapperGenSignalWave.h"

namespace fuzzing {

namespace {

std::string num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}
std::string num(int v) { return std::to_string(v); }

// The record on the heap at its exact size: a read past its end is caught.
template <class Record>
std::unique_ptr<Record> onHeap(const Record& record) {
    return std::make_unique<Record>(record);
}

// A shaping chain: `internal` samples at the symbol- or chip-locked rate,
// each the sum of `terms` filter products, resampled to about `output`
// samples; `taps` filter taps besides.
Expectation chain(double internal, double output, double terms, double taps) {
    return {internal * terms + output, internal + output + taps};
}

// The record's plan, made as the entry point makes it: `make(Plan&)` answers
// 0 when it accepts the record, and `largest(const Plan&)` counts its
// largest array.
template <class Plan, class Make, class Largest>
Planned planOf(Make make, Largest largest) {
    Plan plan{};
    if (make(plan) != 0) return {false, 0};
    return {true, largest(plan)};
}

// Filter products per shaped sample: only the taps that land on a symbol
// instant, span + 1 at the most, whatever the samples per symbol.
double shapingTerms(double span, double /*sps*/) { return span + 1; }

double resampledCount(double internal, double internalRate, double rate) {
    return internal * (rate / internalRate) + 4;
}

Expectation plain(double samples) { return {samples, samples}; }

// AM and FM cover 1, 10, 100, 1000 periods when that many fit whole
// samples, else 10000.
double wholePeriods(double samplesPerPeriod) {
    for (double k : {1.0, 10.0, 100.0, 1000.0}) {
        const double v = k * samplesPerPeriod;
        if (std::fabs(v - std::round(v)) < 1e-12) return k;
    }
    return 10000.0;
}

int filterSpanUsed(int type, int span) { return type == RECT || type == HALF_SINE ? 1 : span; }

// In the exact loop mode the call makes the loop (the fewest whole natural
// periods within the caps; for the kinds that may take more periods to close
// their phase, up to the cap) beside the record's plan: `work` units per
// loop sample, and arrays of its length.
template <class Kind>
void exact(const Target& target, Expectation& e, Planned& planned, const typename Kind::Params& p, int extra,
           double rate, double work, bool repeats) {
    if (!target.settings.exact) return;
    const NaturalPeriod period = Kind::period(p, KindCall{rate, extra, {}});
    double samples = 0;
    if (period.samples)
        if (const auto loop = fewestWholePeriods(*period.samples); loop && withinLoopCaps(*loop))
            samples = static_cast<double>(loop->samples) *
                      (repeats ? static_cast<double>(kMaxLoopPeriods) / static_cast<double>(loop->periods) : 1.0);
    e.work = std::max(e.work, samples * work);
    e.heldSamples += 3 * samples;
    planned.samples = std::max(planned.samples, samples);
}

}  // namespace

int fuzzDigital(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Target target = decodeTarget(in);
    DigitalModParams p{};
    p.modType = static_cast<DigitalModulType>(in.integer(1, 22));
    p.symbolRate = in.real(1e2, 1e8);
    p.freqDeviation = in.signedReal(1, 1e7);
    p.pnOrder = in.integer(4, 32);
    p.pnSeed = static_cast<int32_t>(in.bits(4));
    p.filterType = static_cast<FilterType>(in.integer(1, 5));
    p.filterSpan = in.integer(0, 64);
    p.samplesPerSymbol = in.integer(1, 64);
    p.rolloff = in.real(0.01, 1);
    const int symbolCount = in.integer(1, 100000);
    const double sps = p.samplesPerSymbol;
    const double symbolRate = p.symbolRate;
    const double rate = in.rate(sps * symbolRate);

    const double span = filterSpanUsed(p.filterType, p.filterSpan);
    const bool fsk = p.modType >= FSK2 && p.modType <= FSK16;  // one more symbol for an even count
    const double internal = sps * (static_cast<double>(symbolCount) + span + (fsk ? 1 : 0));
    const double lockedRate = sps * symbolRate;
    const bool resamples = fsk || std::fabs(rate - lockedRate) > 1e-6;
    Expectation e = chain(internal, resamples ? resampledCount(internal, lockedRate, rate) : internal,
                          shapingTerms(span, sps), span * sps);
    Planned planned = planOf<DigitalPlan>([&](DigitalPlan& plan) { return planDigital(p, rate, symbolCount, &plan); },
                                          [](const DigitalPlan& plan) {
                                              return std::max(static_cast<double>(plan.n) * plan.sps,
                                                              static_cast<double>(plan.outputLength));
                                          });
    target.settings = decodeSettings(in);
    exact<DigitalKind>(target, e, planned, p, symbolCount, rate, 8 * std::max(1.0, lockedRate / rate), fsk);
    const auto record = onHeap(p);
    return checkCall(
        "GenerateDigitalModWaveform", "DigitalModParams", target, Conversion::complex, e, planned,
        [&](int h, bool null, int16_t** iq, int* n) {
            return GenerateDigitalModWaveform(h, null ? nullptr : record.get(), symbolCount, iq, n, rate);
        },
        [&] {
            return "DigitalModParams{modType " + num(p.modType) + ", symbolRate " + num(symbolRate) +
                   ", freqDeviation " + num(static_cast<double>(p.freqDeviation)) + ", pnOrder " + num(p.pnOrder) +
                   ", pnSeed " + num(p.pnSeed) + ", filterType " + num(p.filterType) + ", filterSpan " +
                   num(p.filterSpan) + ", samplesPerSymbol " + num(p.samplesPerSymbol) + ", rolloff " +
                   num(static_cast<double>(p.rolloff)) + "}, symbolCount " + num(symbolCount) + ", sampleRate " +
                   num(rate);
        });
}

int fuzzDss(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Target target = decodeTarget(in);
    DSSParams p{};
    p.bitRate = in.real(1, 1e6);
    p.modType = in.integer(BPSK, BPSK);
    p.pnOrder = in.integer(4, 14);
    p.filterSpan = in.integer(0, 32);
    p.samplesPerChip = in.integer(1, 16);
    p.rolloff = in.real(0.01, 1);
    p.pnSeed = static_cast<int32_t>(in.bits(4));
    p.filterType = in.integer(1, 5);
    const int bitCount = in.integer(1, 1000);
    const double sps = p.samplesPerChip;
    const double bitRate = p.bitRate;
    const double chipsPerBit = std::pow(2.0, p.pnOrder) - 1;
    const double internalRate = sps * bitRate * chipsPerBit;
    const double rate = in.rate(internalRate);

    const double span = filterSpanUsed(p.filterType, p.filterSpan);
    const double internal = (span + bitCount * chipsPerBit) * sps;
    const bool resamples = std::fabs(rate - internalRate) > 1e-9;
    Expectation e = chain(internal, resamples ? resampledCount(internal, internalRate, rate) : internal,
                          shapingTerms(span, sps), span * sps);
    Planned planned = planOf<DssPlan>([&](DssPlan& plan) { return planDss(p, rate, bitCount, &plan); },
                                      [](const DssPlan& plan) {
                                          return std::max(static_cast<double>(plan.symbolCount) * plan.sps,
                                                          static_cast<double>(plan.outputLength));
                                      });
    target.settings = decodeSettings(in);
    exact<DssKind>(target, e, planned, p, bitCount, rate, 8 * std::max(1.0, internalRate / rate), false);
    const auto record = onHeap(p);
    return checkCall(
        "GenerateDssWaveform", "DSSParams", target, Conversion::complex, e, planned,
        [&](int h, bool null, int16_t** iq, int* n) {
            return GenerateDssWaveform(h, null ? nullptr : record.get(), bitCount, iq, n, rate);
        },
        [&] {
            return "DSSParams{bitRate " + num(bitRate) + ", modType " + num(p.modType) + ", pnOrder " + num(p.pnOrder) +
                   ", filterSpan " + num(p.filterSpan) + ", samplesPerChip " + num(p.samplesPerChip) + ", rolloff " +
                   num(static_cast<double>(p.rolloff)) + ", pnSeed " + num(p.pnSeed) + ", filterType " +
                   num(p.filterType) + "}, bitCount " + num(bitCount) + ", sampleRate " + num(rate);
        });
}

int fuzzAm(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Target target = decodeTarget(in);
    AMModParams p{};
    p.modFrequency = in.real(1, 1e6);
    p.modDepth = in.real(1, 200);
    p.modShape = in.integer(1, 4);
    const double fm = p.modFrequency;
    const double rate = in.rate(fm * 100);

    const double q = rate / fm;
    Expectation e = plain(std::floor(wholePeriods(q) * q));
    target.settings = decodeSettings(in);
    // A loop takes its own length: the defined one refuses nothing there.
    const bool lengthIsRule = !target.settings.exact;
    Planned planned = planOf<AmPlan>([&](AmPlan& plan) { return planAm(p, rate, plan, lengthIsRule); },
                                     [](const AmPlan& plan) { return static_cast<double>(plan.samples); });
    exact<AmKind>(target, e, planned, p, 0, rate, 2, false);
    const auto record = onHeap(p);
    return checkCall(
        "GenerateAmWaveform", "AMModParams", target, Conversion::real, e, planned,
        [&](int h, bool null, int16_t** iq, int* n) {
            return GenerateAmWaveform(h, null ? nullptr : record.get(), iq, n, rate);
        },
        [&] {
            return "AMModParams{modFrequency " + num(fm) + ", modDepth " + num(static_cast<double>(p.modDepth)) +
                   ", modShape " + num(p.modShape) + "}, sampleRate " + num(rate);
        });
}

int fuzzFm(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Target target = decodeTarget(in);
    FMModParams p{};
    p.modFrequency = in.real(1, 1e6);
    p.freqDeviation = in.signedReal(1, 1e7);
    p.modShape = in.integer(1, 4);
    const double fm = p.modFrequency;
    const double rate = in.rate(fm * 100);

    const double samples = std::floor(((1 / fm) * wholePeriods(rate / fm)) / (1 / rate));
    Expectation e = plain(samples);
    target.settings = decodeSettings(in);
    const bool lengthIsRule = !target.settings.exact;  // as for AM
    Planned planned = planOf<FmPlan>([&](FmPlan& plan) { return planFm(p, rate, plan, lengthIsRule); },
                                     [](const FmPlan& plan) { return static_cast<double>(plan.samples); });
    exact<FmKind>(target, e, planned, p, 0, rate, 4, true);
    const auto record = onHeap(p);
    return checkCall(
        "GenerateFmWaveform", "FMModParams", target, Conversion::complex, e, planned,
        [&](int h, bool null, int16_t** iq, int* n) {
            return GenerateFmWaveform(h, null ? nullptr : record.get(), iq, n, rate);
        },
        [&] {
            return "FMModParams{modFrequency " + num(fm) + ", freqDeviation " +
                   num(static_cast<double>(p.freqDeviation)) + ", modShape " + num(p.modShape) + "}, sampleRate " +
                   num(rate);
        });
}

int fuzzMultitone(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Target target = decodeTarget(in);
    MultitoneParams p{};
    for (auto& b : p.reserved) b = in.byte();
    p.toneCount = in.integer(2, 1000);
    p.toneSpacing = in.real(1, 1e6);
    const int tones = p.toneCount;
    const double spacing = p.toneSpacing;
    const double highest = (tones - 1.0) * spacing / 2;
    const double rate = in.rate(highest * 64);

    // One period of the base tone at the internal rate (the highest tone's
    // whole periods), N sine-cosine pairs per sample: that work is the
    // generator's definition and is skipped beyond the budget.
    const double internalRate = std::floor(rate / highest) * highest;
    const double base = tones % 2 == 0 ? spacing / 2 : spacing;
    const double pattern = std::floor(internalRate / base);
    const double output = pattern * (rate / internalRate) + 4;
    Expectation e{pattern * tones + output, pattern + output + tones};
    Planned planned = planOf<MultitonePlan>([&](MultitonePlan& plan) { return planMultitone(p, rate, plan); },
                                            [](const MultitonePlan& plan) {
                                                return std::max(static_cast<double>(plan.patternSamples),
                                                                static_cast<double>(plan.resampledRoom));
                                            });
    target.settings = decodeSettings(in);
    exact<MultitoneKind>(target, e, planned, p, 0, rate, tones / 16.0 + 1, false);
    const auto record = onHeap(p);
    return checkCall(
        "GenerateMultitoneWaveform", "MultitoneParams", target, Conversion::complex, e, planned,
        [&](int h, bool null, int16_t** iq, int* n) {
            return GenerateMultitoneWaveform(h, null ? nullptr : record.get(), iq, n, rate);
        },
        [&] {
            return "MultitoneParams{toneCount " + num(tones) + ", toneSpacing " + num(spacing) + "}, sampleRate " +
                   num(rate);
        });
}

int fuzzPulse(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Target target = decodeTarget(in);
    PulseParams p{};
    p.pulseWidth = in.real(1e-9, 0.1);
    p.pulsePeriod = in.real(1e-9, 0.1);
    const double width = p.pulseWidth;
    const double period = p.pulsePeriod;
    const double rate = in.rate(1000 / period);

    const double samples = std::floor(period * rate);
    Expectation e{2 * samples, 2 * samples + 4};
    Planned planned = planOf<PulsePlan>([&](PulsePlan& plan) { return planPulse(p, rate, plan); },
                                        [](const PulsePlan& plan) {
                                            return std::max(static_cast<double>(plan.periodSamples),
                                                            static_cast<double>(plan.resampled));
                                        });
    target.settings = decodeSettings(in);
    exact<PulseKind>(target, e, planned, p, 0, rate, 8, false);
    const auto record = onHeap(p);
    return checkCall(
        "GeneratePulseWaveform", "PulseParams", target, Conversion::real, e, planned,
        [&](int h, bool null, int16_t** iq, int* n) {
            return GeneratePulseWaveform(h, null ? nullptr : record.get(), iq, n, rate);
        },
        [&] {
            return "PulseParams{pulseWidth " + num(width) + ", pulsePeriod " + num(period) + "}, sampleRate " +
                   num(rate);
        });
}

int fuzzStepSweep(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Target target = decodeTarget(in);
    StepSweepParams p{};
    p.startFrequency = in.signedReal(1, 1e8);
    p.stopFrequency = in.signedReal(1, 1e8);
    p.stepCount = in.integer(2, 1000);
    p.dwellTime = in.real(1e-7, 0.1);
    const double dwell = p.dwellTime;
    const double rate = in.rate(100 / dwell);

    // floor(rate * dwellTime * stepCount) samples in an array 300 longer.
    const double samples = std::floor(rate * dwell * p.stepCount);
    Expectation e{samples, samples + 300};
    Planned planned = planOf<StepSweepPlan>([&](StepSweepPlan& plan) { return planStepSweep(p, rate, plan); },
                                            [](const StepSweepPlan& plan) { return double(plan.samples); });
    target.settings = decodeSettings(in);
    exact<StepSweepKind>(target, e, planned, p, 0, rate, 2, false);
    const auto record = onHeap(p);
    return checkCall(
        "GenerateStepSweepWaveform", "StepSweepParams", target, Conversion::complex, e, planned,
        [&](int h, bool null, int16_t** iq, int* n) {
            return GenerateStepSweepWaveform(h, null ? nullptr : record.get(), iq, n, rate);
        },
        [&] {
            return "StepSweepParams{startFrequency " + num(static_cast<double>(p.startFrequency)) + ", stopFrequency " +
                   num(static_cast<double>(p.stopFrequency)) + ", stepCount " + num(p.stepCount) + ", dwellTime " +
                   num(dwell) + "}, sampleRate " + num(rate);
        });
}

int fuzzRampSweep(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Target target = decodeTarget(in);
    RampSweepParams p{};
    p.sweepBandwidth = in.real(1, 1e9);
    p.sweepTime = in.real(1e-7, 0.1);
    p.duration = in.real(1e-7, 0.1);
    const double sweepTime = p.sweepTime;
    const double duration = p.duration;
    const double rate = in.rate(100 / sweepTime);

    // The output (in an array 300 longer), the ramp and its time axis.
    const double total = std::floor(rate * std::max(sweepTime, duration));
    const double ramp = std::floor(rate * sweepTime);
    Expectation e{total + ramp, total + 300 + 2 * ramp};
    Planned planned = planOf<RampSweepPlan>([&](RampSweepPlan& plan) { return planRampSweep(p, rate, plan); },
                                            [](const RampSweepPlan& plan) { return double(plan.samples); });
    target.settings = decodeSettings(in);
    exact<RampSweepKind>(target, e, planned, p, 0, rate, 1, false);
    const auto record = onHeap(p);
    return checkCall(
        "GenerateRampSweepWaveform", "RampSweepParams", target, Conversion::complex, e, planned,
        [&](int h, bool null, int16_t** iq, int* n) {
            return GenerateRampSweepWaveform(h, null ? nullptr : record.get(), iq, n, rate);
        },
        [&] {
            return "RampSweepParams{sweepBandwidth " + num(static_cast<double>(p.sweepBandwidth)) + ", sweepTime " +
                   num(sweepTime) + ", duration " + num(duration) + "}, sampleRate " + num(rate);
        });
}

int fuzzAwgn(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Target target = decodeTarget(in);
    AWGNParams p{};
    p.bandwidth = in.real(1, 1e9);
    p.duration = in.real(1e-7, 0.1);
    const double duration = p.duration;
    const double rate = in.rate(1e6);

    // The output (in an array 300 longer), and the raw noise with the
    // filter's 127 extra samples.
    const double samples = std::floor(rate * duration);
    Expectation e{samples, 2 * samples + 427};
    Planned planned = planOf<AwgnPlan>([&](AwgnPlan& plan) { return planAwgn(p, rate, plan); },
                                       [](const AwgnPlan& plan) { return double(plan.samples); });
    target.settings = decodeSettings(in);
    exact<AwgnKind>(target, e, planned, p, 0, rate, 2, false);
    const auto record = onHeap(p);
    return checkCall(
        "GenerateAWGNWaveform", "AWGNParams", target, Conversion::complex, e, planned,
        [&](int h, bool null, int16_t** iq, int* n) {
            return GenerateAWGNWaveform(h, null ? nullptr : record.get(), iq, n, rate);
        },
        [&] {
            return "AWGNParams{bandwidth " + num(static_cast<double>(p.bandwidth)) + ", duration " + num(duration) +
                   "}, sampleRate " + num(rate);
        });
}

int fuzzOfdm(const uint8_t* data, size_t size) {
    static const DigitalModulType kAccepted[] = {BPSK, QPSK, PSK8, PSK16, QAM16, QAM64, QAM256};
    FuzzInput in(data, size);
    Target target = decodeTarget(in);
    OFDMParams p{};
    for (auto& b : p.reserved0) b = in.byte();
    p.fftSize = in.powerOfTwo(14);
    p.numSymbols = in.integer(1, 64);
    p.guardLow = in.integer(0, 32);
    p.guardHigh = in.integer(0, 32);
    p.cpPercent = in.integer(0, 100);
    for (auto& b : p.reserved1) b = in.byte();
    p.windowing = in.byte() & 1;
    const uint8_t kind = in.byte();
    p.modType = kind < 160 ? kAccepted[kind % 7] : static_cast<DigitalModulType>(in.integer(1, 22));
    p.nullDC = in.byte() & 1;
    const double rate = in.rate(1e6);  // not used by the generator

    // S symbols of fftSize + prefix samples; one inverse FFT per symbol.
    const double fft = p.fftSize;
    const double prefix = p.cpPercent > 0 ? std::floor(fft * (p.cpPercent / 100.0)) : 0;
    const double frame = p.numSymbols * (fft + prefix);
    const double work = frame * (1 + std::log2(std::max(fft, 1.0)) / 8);
    Expectation e{work, 3 * frame};
    Planned planned =
        planOf<OfdmPlan>([&](OfdmPlan& plan) { return planOfdm(p, plan); },
                         [](const OfdmPlan& plan) {
                             return std::max(static_cast<double>(plan.samples), static_cast<double>(plan.bits));
                         });
    target.settings = decodeSettings(in);
    exact<OfdmKind>(target, e, planned, p, 0, rate, 1, false);
    const auto record = onHeap(p);
    return checkCall(
        "GenerateOFDMWaveform", "OFDMParams", target, Conversion::complex, e, planned,
        [&](int h, bool null, int16_t** iq, int* n) {
            return GenerateOFDMWaveform(h, null ? nullptr : record.get(), iq, n, rate);
        },
        [&] {
            return "OFDMParams{fftSize " + num(p.fftSize) + ", numSymbols " + num(p.numSymbols) + ", guardLow " +
                   num(p.guardLow) + ", guardHigh " + num(p.guardHigh) + ", cpPercent " + num(p.cpPercent) +
                   ", windowing " + num(p.windowing) + ", modType " + num(p.modType) + ", nullDC " + num(p.nullDC) +
                   "}, sampleRate " + num(rate);
        });
}

const FuzzTarget kFuzzTargets[] = {
    {"digital", fuzzDigital},
    {"dss", fuzzDss},
    {"am", fuzzAm},
    {"fm", fuzzFm},
    {"multitone", fuzzMultitone},
    {"pulse", fuzzPulse},
    {"stepsweep", fuzzStepSweep},
    {"rampsweep", fuzzRampSweep},
    {"awgn", fuzzAwgn},
    {"ofdm", fuzzOfdm},
    {"measure", fuzzMeasure},
    {"files", fuzzFiles},
    {"channel", fuzzChannel},
    {"impair", fuzzImpairFile},
    {"scene", fuzzScene},
    {"sceneyaml", fuzzSceneYaml},
    {"recording", fuzzRecordingTexts},
};
const int kFuzzTargetCount = sizeof kFuzzTargets / sizeof kFuzzTargets[0];

const FuzzTarget* findFuzzTarget(const char* name) {
    for (const FuzzTarget& t : kFuzzTargets)
        if (std::strcmp(t.name, name) == 0) return &t;
    return nullptr;
}

}  // namespace fuzzing
