#include "naturalPeriods.h"

#include <cmath>

#include "modulatingWave.h"

namespace {

// K * fs / rate (a scale of a rate, a count), or empty.
NaturalPeriod ratio(const std::optional<Rational>& numerator, const std::optional<Rational>& denominator,
                    double approximate, int32_t periods = 1) {
    NaturalPeriod n;
    n.approximate = std::isfinite(approximate) ? approximate : 0;
    n.definedPeriods = periods;
    if (numerator && denominator && denominator->num != 0) n.samples = divide(*numerator, *denominator);
    return n;
}

std::optional<Rational> times(const std::optional<Rational>& a, const std::optional<Rational>& b) {
    if (!a || !b) return std::nullopt;
    return multiply(*a, *b);
}

std::optional<Rational> count(int64_t n) {
    if (n < 0) return std::nullopt;
    return wholeRational(static_cast<uint64_t>(n));
}

}  // namespace

NaturalPeriod naturalPeriod(const DigitalModParams& params, int symbolCount, double fs) {
    const DigitalModParams p = params;
    return ratio(times(count(symbolCount), decimalRational(fs)), decimalRational(p.symbolRate),
                 symbolCount * fs / p.symbolRate);
}

NaturalPeriod naturalPeriod(const DSSParams& params, int bitCount, double fs) {
    const DSSParams p = params;
    return ratio(times(count(bitCount), decimalRational(fs)), decimalRational(p.bitRate), bitCount * fs / p.bitRate);
}

NaturalPeriod naturalPeriod(const AMModParams& params, int, double fs) {
    const AMModParams p = params;
    const double q = fs / p.modFrequency;
    const int32_t periods = std::isfinite(q) ? static_cast<int32_t>(wholePeriodCount(q)) : 1;
    return ratio(decimalRational(fs), decimalRational(p.modFrequency), q, periods);
}

NaturalPeriod naturalPeriod(const FMModParams& params, int, double fs) {
    const FMModParams p = params;
    const double q = fs / p.modFrequency;
    const int32_t periods = std::isfinite(q) ? static_cast<int32_t>(wholePeriodCount(q)) : 1;
    return ratio(decimalRational(fs), decimalRational(p.modFrequency), q, periods);
}

NaturalPeriod naturalPeriod(const MultitoneParams& params, int, double fs) {
    const MultitoneParams p = params;
    // The lowest tone's distance from the centre: half the spacing for an
    // even count, the spacing for an odd one; its period is common to all.
    const bool even = p.toneCount % 2 == 0;
    const std::optional<Rational> base =
        even ? times(decimalRational(p.toneSpacing), Rational{1, 2}) : decimalRational(p.toneSpacing);
    return ratio(decimalRational(fs), base, fs / (even ? p.toneSpacing / 2 : p.toneSpacing));
}

NaturalPeriod naturalPeriod(const PulseParams& params, int, double fs) {
    const PulseParams p = params;
    return ratio(times(decimalRational(p.pulsePeriod), decimalRational(fs)), Rational{1, 1}, p.pulsePeriod * fs);
}

NaturalPeriod naturalPeriod(const StepSweepParams& params, int, double fs) {
    const StepSweepParams p = params;
    const auto sweep = times(decimalRational(p.dwellTime), count(p.stepCount));
    return ratio(times(sweep, decimalRational(fs)), Rational{1, 1}, p.dwellTime * fs * p.stepCount);
}

NaturalPeriod naturalPeriod(const RampSweepParams& params, int, double fs) {
    const RampSweepParams p = params;
    const double longer = p.sweepTime <= p.duration ? p.duration : p.sweepTime;
    return ratio(times(decimalRational(longer), decimalRational(fs)), Rational{1, 1}, longer * fs);
}

NaturalPeriod naturalPeriod(const AWGNParams& params, int, double fs) {
    const AWGNParams p = params;
    return ratio(times(decimalRational(p.duration), decimalRational(fs)), Rational{1, 1}, p.duration * fs);
}

NaturalPeriod naturalPeriod(const OFDMParams& params, int, double) {
    const OFDMParams p = params;
    const int64_t prefix = static_cast<int64_t>(p.fftSize * (p.cpPercent / 100.0));
    const int64_t frame = static_cast<int64_t>(p.numSymbols) * (p.fftSize + (prefix > 0 ? prefix : 0));
    return ratio(count(frame), Rational{1, 1}, static_cast<double>(frame));
}

GenSignalLoopInfo loopInfo(const NaturalPeriod& period, int32_t periods, int n, double fs) {
    GenSignalLoopInfo info{};
    info.samples = n;
    info.periods = periods;
    info.samplesPerPeriod = period.samples ? period.samples->value() : period.approximate;
    info.loopDuration = n / fs;
    if (period.samples && periods >= 1) {
        const auto total = multiply(*period.samples, wholeRational(static_cast<uint64_t>(periods)));
        info.wholePeriods = total && total->whole() && total->num == static_cast<u128>(n) ? 1 : 0;
    }
    return info;
}
