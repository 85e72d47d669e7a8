#include "bandLimits.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "lastError.h"

namespace {

// Where a Gaussian pulse's response is 20 dB down, in units of its 3 dB
// bandwidth BT Rs: sqrt(2 ln 10 / ln 2).
constexpr double kGaussianEdge = 2.5776;

bool usable(double v) { return std::isfinite(v); }

bool say(BandReason& why, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool say(BandReason& why, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(why.text, sizeof why.text, format, args);
    va_end(args);
    return true;
}

// A frequency (magnitude) at or above half the sample rate.
bool toneAbove(double f, double half) { return std::fabs(f) >= half; }

// The band edge of a pulse-shaped symbol stream, and its name; 0 for an
// unknown filter (refused elsewhere).
double pulseEdge(int filterType, double rolloff, double rate, const char** name) {
    switch (filterType) {
        case RCOS: *name = "(1 + rolloff) * rate / 2 of the raised cosine"; return (1 + rolloff) * rate / 2;
        case RRCOS: *name = "(1 + rolloff) * rate / 2 of the root raised cosine"; return (1 + rolloff) * rate / 2;
        case RECT: *name = "the first null of the rectangle, at the rate"; return rate;
        case HALF_SINE: *name = "the first null of the half-sine, 1.5 * rate"; return 1.5 * rate;
        case GAUSSIAN:
            *name = "the Gaussian pulse's 20 dB edge, 2.58 * rolloff * rate";
            return kGaussianEdge * rolloff * rate;
        default: return 0;
    }
}

}  // namespace

bool aboveNyquist(const DigitalModParams& params, double fs, BandReason& why) {
    const DigitalModParams p = params;
    const double half = fs / 2;
    if (!(fs > 0) || !usable(fs) || !usable(p.symbolRate) || !(p.symbolRate > 0)) return false;
    if (p.modType >= FSK2 && p.modType <= FSK16) {
        if (!usable(p.freqDeviation)) return false;
        const double edge = std::fabs(p.freqDeviation) + p.symbolRate / 2;
        if (!(edge > half)) return false;
        return say(why,
                   "DigitalModParams.freqDeviation = %s: the outermost FSK tone plus half the symbol rate, %s Hz, "
                   "lies above half the sample rate, %s Hz",
                   numberText(p.freqDeviation).text, numberText(edge).text, numberText(half).text);
    }
    const char* name = "";
    const double edge = pulseEdge(p.filterType, p.rolloff, p.symbolRate, &name);
    if (!(edge > half)) return false;
    return say(why,
               "DigitalModParams.symbolRate = %s: the band edge, %s, %s Hz, lies above half the sample rate, %s Hz",
               numberText(p.symbolRate).text, name, numberText(edge).text, numberText(half).text);
}

bool aboveNyquist(const DSSParams& params, double fs, BandReason& why) {
    const DSSParams p = params;
    const double half = fs / 2;
    if (!(fs > 0) || !usable(fs) || !usable(p.bitRate) || !(p.bitRate > 0) || p.pnOrder < 4 || p.pnOrder > 32)
        return false;
    const double chipRate = p.bitRate * (std::pow(2.0, p.pnOrder) - 1);
    const char* name = "";
    const double edge = pulseEdge(p.filterType, p.rolloff, chipRate, &name);
    if (!(edge > half)) return false;
    return say(why,
               "DSSParams.bitRate = %s: at %s chips/s the band edge, %s, %s Hz, lies above half the sample rate, "
               "%s Hz",
               numberText(p.bitRate).text, numberText(chipRate).text, name, numberText(edge).text,
               numberText(half).text);
}

bool aboveNyquist(const AMModParams& params, double fs, BandReason& why) {
    const AMModParams p = params;
    if (!(fs > 0) || !usable(fs) || !usable(p.modFrequency) || !toneAbove(p.modFrequency, fs / 2)) return false;
    return say(why, "AMModParams.modFrequency = %s: lies at or above half the sample rate, %s Hz",
               numberText(p.modFrequency).text, numberText(fs / 2).text);
}

bool aboveNyquist(const FMModParams& params, double fs, BandReason& why) {
    const FMModParams p = params;
    if (!(fs > 0) || !usable(fs)) return false;
    if (usable(p.freqDeviation) && toneAbove(p.freqDeviation, fs / 2))
        return say(why, "FMModParams.freqDeviation = %s: lies at or above half the sample rate, %s Hz",
                   numberText(p.freqDeviation).text, numberText(fs / 2).text);
    if (usable(p.modFrequency) && toneAbove(p.modFrequency, fs / 2))
        return say(why, "FMModParams.modFrequency = %s: lies at or above half the sample rate, %s Hz",
                   numberText(p.modFrequency).text, numberText(fs / 2).text);
    return false;
}

bool aboveNyquist(const MultitoneParams& params, double fs, BandReason& why) {
    const MultitoneParams p = params;
    if (!(fs > 0) || !usable(fs) || p.toneCount < 2 || !usable(p.toneSpacing) || !(p.toneSpacing > 0)) return false;
    const double highest = (p.toneCount - 1) * p.toneSpacing / 2;
    if (!toneAbove(highest, fs / 2)) return false;
    return say(why,
               "MultitoneParams.toneSpacing = %s: the highest of %d tones, %s Hz, lies at or above half the "
               "sample rate, %s Hz",
               numberText(p.toneSpacing).text, p.toneCount, numberText(highest).text, numberText(fs / 2).text);
}

bool aboveNyquist(const PulseParams&, double, BandReason&) { return false; }

bool aboveNyquist(const StepSweepParams& params, double fs, BandReason& why) {
    const StepSweepParams p = params;
    if (!(fs > 0) || !usable(fs) || p.stepCount < 2 || !usable(p.startFrequency) || !usable(p.stopFrequency))
        return false;
    const double delta = std::floor((p.stopFrequency - p.startFrequency) / (p.stepCount - 1));
    const double outermost = ((p.stepCount - 1) / 2.0) * delta;
    if (!usable(outermost) || !toneAbove(outermost, fs / 2)) return false;
    return say(why,
               "StepSweepParams.stopFrequency = %s: the outermost step, %s Hz, lies at or above half the sample "
               "rate, %s Hz",
               numberText(p.stopFrequency).text, numberText(std::fabs(outermost)).text, numberText(fs / 2).text);
}

bool aboveNyquist(const RampSweepParams& params, double fs, BandReason& why) {
    const RampSweepParams p = params;
    if (!(fs > 0) || !usable(fs) || !usable(p.sweepBandwidth)) return false;
    const double edge = p.sweepBandwidth / 2;
    if (!(edge > fs / 2)) return false;
    return say(why, "RampSweepParams.sweepBandwidth = %s: its edge, %s Hz, lies above half the sample rate, %s Hz",
               numberText(p.sweepBandwidth).text, numberText(edge).text, numberText(fs / 2).text);
}

bool aboveNyquist(const AWGNParams& params, double fs, BandReason& why) {
    const AWGNParams p = params;
    if (!(fs > 0) || !usable(fs) || !usable(p.bandwidth) || !(p.bandwidth > fs / 2)) return false;
    return say(why, "AWGNParams.bandwidth = %s: lies above half the sample rate, %s Hz, and acts as that",
               numberText(p.bandwidth).text, numberText(fs / 2).text);
}

bool aboveNyquist(const OFDMParams&, double, BandReason&) { return false; }
