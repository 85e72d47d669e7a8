// The digital kinds in the exact loop mode. One period is the defined
// shaping of the record's own symbols at the symbol-locked rate (N sps
// samples); it is resampled as a periodic signal to the fewest periods that
// span whole samples at the sample rate.
//
// The FSK kinds keep their PN symbols as they are (no guard or balancing
// symbols): the levels' frequency pulse is shaped cyclically over the N
// symbols, resampled the same way and integrated into phase. Over one
// period the phase turns by deviation / (M - 1) * (sum of the levels) /
// symbol rate cycles, so the loop also takes as many periods as make that a
// whole number of turns, or is refused with what it misses by. The phase is
// the running sum of the resampled frequency less its mean, plus the mean's
// exact share of those turns, so the loop meets its start to rounding.
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <string>

#include "digital.h"
#include "mathConstants.h"
#include "phaseSlots.h"
#include "polyphaseFilter.h"
#include "shapedLoop.h"
#include "shapedPeriod.h"

namespace {

using Sample = std::complex<float>;

// The frequency pulse's taps normalised as the defined modulator does: sum sps.
void normaliseTaps(float* taps, int count, int sps) {
    double sum = 0;
    for (int i = 0; i < count; ++i) sum += taps[i];
    if (sum == 0) sum = 1;
    for (int i = 0; i < count; ++i) taps[i] = static_cast<float>(static_cast<double>(taps[i]) / sum * sps);
}

// One period of the FSK frequency signal, held as complex samples with a
// zero imaginary part for the resampler.
class FrequencyPeriod {
public:
    FrequencyPeriod(const float* levels, const StuffedFilter& filter, int64_t length)
        : levels_(levels), filter_(filter), length_(length) {}
    int prepare(int64_t, int64_t, int) {
        const size_t n = static_cast<size_t>(length_);
        Buffer<float> f(n);
        period_ = Buffer<Sample>(n);
        if (!f || !period_) return outOfMemory<Sample>(-3, n, "frequency period");
        shapeStuffedReal(levels_, filter_, 0, length_, f.get());
        for (size_t i = 0; i < n; ++i) period_[i] = {f[i], 0.0f};
        return 0;
    }
    void operator()(int64_t a, int64_t b, Sample* dst) const { copyPeriodic(period_.get(), length_, a, b, dst); }

private:
    const float* levels_;
    StuffedFilter filter_;
    int64_t length_;
    Buffer<Sample> period_;
};

// Phase turns per output sample, (sign) a / b in lowest terms with a < b.
struct Turns {
    int sign = 0;
    u128 a = 0, b = 1;
};

// The symbols as frequency levels -(M - 1) ... M - 1, and their sum over
// one period of N symbols.
int fskLevels(const DigitalPlan& plan, const Buffer<short>& symbols, Buffer<float>& levels, int64_t& sum) {
    const int N = plan.N, n = plan.n, M = plan.M;
    levels = Buffer<float>(static_cast<size_t>(n));
    if (!levels) return outOfMemory<float>(-3, n, "FSK levels");
    sum = 0;
    for (int i = 0; i < n; ++i) {
        levels[i] = static_cast<float>(2 * symbols[i] - (M - 1));
        if (i < N) sum += 2 * symbols[i] - (M - 1);
    }
    return 0;
}

int noExactPhase(const DigitalModParams& p) {
    return refuse(-1, "DigitalModParams.freqDeviation = %s: the FSK phase has no exact fraction of 128 bits",
                  numberText(p.freqDeviation).text);
}

// The loop closes in whole samples and whole turns of the phase; otherwise
// the refusal says how far the phase misses after the whole samples.
int fskLoop(const DigitalModParams& p, const DigitalPlan& plan, int64_t sum, double fs, const NaturalPeriod& period,
            const LoopField& field, Rational& perPeriod, LoopLength& loop) {
    // Turns over one period: deviation * sum / ((M - 1) * symbolRate).
    const auto deviation = decimalRational(p.freqDeviation), rate = decimalRational(p.symbolRate);
    const int64_t magnitude = sum < 0 ? -sum : sum;
    const auto top = deviation ? multiply(*deviation, wholeRational(static_cast<uint64_t>(magnitude))) : std::nullopt;
    const auto bottom = rate ? multiply(*rate, wholeRational(static_cast<uint64_t>(plan.M - 1))) : std::nullopt;
    const auto turns = top && bottom ? divide(*top, *bottom) : std::nullopt;
    if (!turns) return noExactPhase(p);
    perPeriod = *turns;
    const uint64_t phasePeriods =
        perPeriod.den > static_cast<u128>(INT64_MAX) ? 0 : static_cast<uint64_t>(perPeriod.den);
    const auto both = phasePeriods ? fewestWholePeriods(*period.samples, phasePeriods) : std::nullopt;
    if (both && withinLoopCaps(*both)) {
        loop = *both;
        return 0;
    }
    LoopLength samplesOnly{};
    if (int rc = closeLoop(period, fs, field, samplesOnly)) return rc;
    // Whole samples, but the phase does not come back within the caps.
    const Rational after = *multiply(perPeriod, wholeRational(static_cast<uint64_t>(samplesOnly.periods)));
    const double fraction = static_cast<double>(after.num % after.den) / static_cast<double>(after.den);
    const double miss = kTwoPi * (fraction > 0.5 ? 1 - fraction : fraction);
    return refuse(-1,
                  "DigitalModParams.freqDeviation = %s: the FSK phase turns %s times over each period of %d "
                  "symbols (levels summing to %lld) and meets its start only after %s periods; after the %lld "
                  "periods that span whole samples it misses by %s rad",
                  numberText(p.freqDeviation).text, numberText(perPeriod.value()).text, plan.N,
                  static_cast<long long>(sum), phasePeriods ? std::to_string(phasePeriods).c_str() : "more than 2^63",
                  static_cast<long long>(samplesOnly.periods), numberText(miss).text);
}

// The phase over the loop's K samples of frequency y: the running sum of the
// frequency less its mean, plus the mean's turns per sample as an exact
// fraction, so that the phase meets its start after K samples.
int fskPhase(const DigitalModParams& p, int M, int64_t sum, double fs, const Rational& perPeriod,
             const NaturalPeriod& period, Sample* y, int64_t K) {
    // Turns per output sample from the mean: deviation * sum / ((M - 1) N fs).
    Turns turns;
    turns.sign = (sum == 0 || p.freqDeviation == 0) ? 0 : ((sum < 0) != (p.freqDeviation < 0) ? -1 : 1);
    if (turns.sign != 0) {
        const auto perSample = divide(perPeriod, *period.samples);
        if (!perSample) return noExactPhase(p);
        turns.b = perSample->den;
        turns.a = perSample->num % perSample->den;
    }
    double mean = 0;
    for (int64_t m = 0; m < K; ++m) mean += y[m].real();
    mean /= static_cast<double>(K);
    const double c = ((p.freqDeviation / (M - 1)) * kTwoPi) * (1 / fs);
    double ac = 0;  // running sum of the frequency less its mean
    u128 r = 0;     // (m + 1) a mod b
    for (int64_t m = 0; m < K; ++m) {
        ac += y[m].real() - mean;
        r += turns.a;
        if (r >= turns.b) r -= turns.b;
        const double whole = turns.sign * kTwoPi * (static_cast<double>(r) / static_cast<double>(turns.b));
        storePhase(y + m, c * ac + whole);
    }
    return 0;
}

int exactFsk(const DigitalModParams& p, const DigitalPlan& plan, double fs, const NaturalPeriod& period,
             const LoopField& field, GeneratedWave<Sample>& wave, MadeLoop& made) {
    Buffer<short> symbols;
    Buffer<Sample> unused;
    Buffer<float> taps;
    if (int rc = digitalPeriodParts(plan, symbols, unused, taps)) return rc;
    Buffer<float> levels;
    int64_t sum = 0;
    if (int rc = fskLevels(plan, symbols, levels, sum)) return rc;
    symbols.reset();
    Rational perPeriod{};
    LoopLength loop{};
    if (int rc = fskLoop(p, plan, sum, fs, period, field, perPeriod, loop)) return rc;

    // The frequency signal, resampled.
    normaliseTaps(taps.get(), plan.tapCount, plan.sps);
    const int64_t length = static_cast<int64_t>(plan.N) * plan.sps;
    int64_t num = 0, den = 0;
    const auto rate = decimalRational(p.symbolRate);
    const auto locked = rate ? multiply(*rate, wholeRational(static_cast<uint64_t>(plan.sps))) : std::nullopt;
    if (int rc = lockedRatio(locked, fs, "DigitalModParams.symbolRate", p.symbolRate, num, den)) return rc;
    FrequencyPeriod source(levels.get(), stuffedFilter(taps.get(), plan.tapCount, plan.sps), length);
    Buffer<Sample> g;
    if (int rc = resampleInto(source, length, num, den, loop.samples, g)) return rc;

    const int64_t K = loop.samples;
    if (int rc = fskPhase(p, plan.M, sum, fs, perPeriod, period, g.get(), K)) return rc;
    phasorsInBlocks(g.get(), K);
    wave.samples = std::move(g);
    wave.length = static_cast<int>(K);
    made.periods = loop.periods;
    return 0;
}

}  // namespace

int digitalLoop(const DigitalModParams& p, const DigitalPlan& plan, double fs, const NaturalPeriod& period,
                GeneratedWave<Sample>& wave, MadeLoop& made) {
    const LoopField field = countAndRate("DigitalModParams.symbolRate", offsetof(DigitalModParams, symbolRate),
                                         p.symbolRate, "symbolCount", plan.N, fs);
    if (plan.fsk) {
        LoopLength unused{};
        if (!period.samples) return closeLoop(period, fs, field, unused);
        return exactFsk(p, plan, fs, period, field, wave, made);
    }
    LoopLength loop{};
    if (int rc = closeLoop(period, fs, field, loop)) return rc;
    int64_t num = 0, den = 0;
    const auto locked = product(decimalRational(p.symbolRate), wholeRational(static_cast<uint64_t>(plan.sps)));
    if (int rc = lockedRatio(locked, fs, "DigitalModParams.symbolRate", p.symbolRate, num, den)) return rc;

    Buffer<short> symbols;
    Buffer<Sample> points;
    Buffer<float> taps;
    if (int rc = digitalPeriodParts(plan, symbols, points, taps)) return rc;
    symbols.reset();
    const int64_t length = static_cast<int64_t>(plan.N) * plan.sps;
    ShapedPeriod source(points.get(), stuffedFilter(taps.get(), plan.tapCount, plan.sps), length,
                        plan.modType == OQPSK ? plan.sps / 2 : 0);
    if (int rc = resampleInto(source, length, num, den, loop.samples, wave.samples)) return rc;
    wave.length = static_cast<int>(loop.samples);
    made.periods = loop.periods;
    return 0;
}
