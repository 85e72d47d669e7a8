// AM and FM in the exact loop mode. Their defined output already holds a
// whole number of modulation periods whenever 1, 10, 100 or 1000 of them
// span whole samples (judged in double); where that count is exactly whole
// (and, for FM, the phase returns to where it started) the defined output
// is the loop. Otherwise the same samples are formed over the fewest whole
// periods that span whole samples, and for FM over as many of those loops
// as bring the phase back, or the call is refused with what it misses by.
#include <omp.h>

#include <cmath>
#include <cstdint>

#include "exactLoops.h"
#include "amPlan.h"
#include "fmPlan.h"
#include "generatedWave.h"
#include "mathConstants.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "modulatingWave.h"
#include "phaseSlots.h"
#include "rangeChecks.h"

namespace {

// A phase that returns within this after the loop meets its start: far
// below the 1/32766 rad that a 16-bit step resolves at full scale.
constexpr double kPhaseTolerance = 1e-6;

// Whether the defined output of `k` periods, `n` samples long, is exactly k
// natural periods (and a length the defined mode hands out at all).
bool definedIsWhole(const NaturalPeriod& period, double k, double n) {
    if (!period.samples || !(k >= 1) || !(n >= 1) || !countFits(n)) return false;
    const auto total = multiply(*period.samples, wholeRational(static_cast<uint64_t>(k)));
    return total && total->whole() && total->num == static_cast<u128>(n);
}

LoopField modFrequencyField(const char* field, double fm, double fs) {
    const auto rate = decimalRational(fs);
    return {field, fm, {rate ? *rate : Rational{0, 1}, FieldRole::divides}};
}

// The defined modulating waves at exact positions: sample i at fraction
// r / b of a period, r = i a mod b. Sine: sin(2 pi r / b); the others from 0
// to 1 as the defined waves run: square 1 in the first half period, then 0;
// triangle up and down; sawtooth up.
class ExactWave {
public:
    ExactWave(int shape, const Rational& perSample)
        : shape_(shape), a_(static_cast<uint64_t>(perSample.num)), b_(static_cast<uint64_t>(perSample.den)) {}
    double next() {
        const double r = static_cast<double>(r_), b = static_cast<double>(b_);
        r_ += a_;
        if (r_ >= b_) r_ %= b_;
        switch (shape_) {
            case 1: return std::sin(kTwoPi * r / b);
            case 2: return 2 * r < b ? 1.0 : 0.0;
            case 3: return 2 * r < b ? 2 * r / b : 2 - 2 * r / b;
            default: return r / b;
        }
    }
    // The FM form, -1 ... 1, as the defined generator maps each wave.
    double nextSigned() {
        const double w = next();
        switch (shape_) {
            case 1: return w;
            case 2: return w + w - 1;
            case 3: return (w - 0.5) + (w - 0.5);
            default: return w * 2 - 1;
        }
    }

private:
    int shape_;
    uint64_t a_, b_, r_ = 0;
};

// Periods per sample, fm / fs, from the samples per period; the caps keep
// both terms within 64 bits.
Rational perSample(const NaturalPeriod& period) { return Rational{period.samples->den, period.samples->num}; }

// The FM phase after n samples of the defined wave, summed as the defined
// generator sums it.
double definedPhaseAfter(int shape, double fm, double fs, double c, int64_t n) {
    SegmentWave segments(fm, fs);
    const double dt = 1 / fs, w = kTwoPi * fm;
    double phi = 0;
    for (int64_t i = 0; i < n; ++i) {
        double v = 0;
        switch (shape) {
            case 1: v = std::sin(static_cast<int>(i) * dt * w); break;
            case 2: {
                const double s = segments.next<2>();
                v = s + s - 1;
                break;
            }
            case 3: {
                const double s = segments.next<3>();
                v = (s - 0.5) + (s - 0.5);
                break;
            }
            default: v = segments.next<4>() * 2 - 1; break;
        }
        phi = std::fma(v, c, phi);
    }
    return phi;
}

// The exact-position FM phase over n samples, stored in the slots when given.
double exactPhaseAfter(int shape, const Rational& fraction, double c, int64_t n, std::complex<float>* slots) {
    ExactWave wave(shape, fraction);
    double phi = 0;
    for (int64_t i = 0; i < n; ++i) {
        phi = std::fma(wave.nextSigned(), c, phi);
        if (slots) storePhase(slots + i, phi);
    }
    return phi;
}

double missed(double phase) { return std::fabs(std::remainder(phase, kTwoPi)); }

}  // namespace

int exactWaveform(GenSignalClass& dsp, const AMModParams& params, int, double fs, const HandleOptions&,
                  ExactWaveform& out) {
    // The defined length is not a rule here: a loop takes its own.
    AmPlan plan{};
    if (int rc = planAmLoop(params, fs, plan)) return rc;
    const AMModParams p = params;
    if (int rc = refuseAboveNyquist(p, fs)) return rc;

    const NaturalPeriod period = naturalPeriod(p, 0, fs);
    const double q = fs / p.modFrequency;
    const double k = wholePeriodCount(q);
    if (definedIsWhole(period, k, std::trunc(k * q))) {
        plan.samples = static_cast<int>(k * q);  // the defined length
        GeneratedWave<double> wave;
        if (int rc = dsp.genAMSig(plan, wave)) return rc;
        out.envelope = std::move(wave.samples);
        out.samples = wave.length;
        out.loop = loopInfo(period, static_cast<int32_t>(k), wave.length, fs);
        return 0;
    }
    LoopLength loop{};
    if (int rc = closeLoop(period, fs, modFrequencyField("AMModParams.modFrequency", p.modFrequency, fs), loop))
        return rc;
    const int n = static_cast<int>(loop.samples);
    Buffer<double> x(static_cast<size_t>(n));
    if (!x) return outOfMemory<double>(-3, n, "AM envelope");
    preferHugePages(x.get(), x.bytesFor(n));
    // The defined envelope's values at exact positions, over the loop.
    ExactWave wave(plan.shape, perSample(period));
    for (int i = 0; i < n; ++i) x[i] = wave.next() + plan.offset;
    out.envelope = std::move(x);
    out.samples = n;
    out.loop = loopInfo(period, static_cast<int32_t>(loop.periods), n, fs);
    return 0;
}

int exactWaveform(GenSignalClass& dsp, const FMModParams& params, int, double fs, const HandleOptions&,
                  ExactWaveform& out) {
    // The defined length is not a rule here: a loop takes its own.
    FmPlan plan{};
    if (int rc = planFmLoop(params, fs, plan)) return rc;
    const FMModParams p = params;
    if (int rc = refuseAboveNyquist(p, fs)) return rc;

    const NaturalPeriod period = naturalPeriod(p, 0, fs);
    const double c = plan.phaseStep;
    const double k = wholePeriodCount(fs / p.modFrequency);
    const double definedLength = std::floor(((1 / p.modFrequency) * k) / (1 / fs));
    if (definedIsWhole(period, k, definedLength) &&
        missed(definedPhaseAfter(plan.shape, p.modFrequency, fs, c, static_cast<int64_t>(definedLength))) <=
            kPhaseTolerance) {
        plan.samples = static_cast<int>(definedLength);
        GeneratedWave<std::complex<float>> wave;
        if (int rc = dsp.genFMSig(plan, wave)) return rc;
        out.complexSamples = std::move(wave.samples);
        out.samples = wave.length;
        out.loop = loopInfo(period, static_cast<int32_t>(k), wave.length, fs);
        return 0;
    }

    LoopLength loop{};
    const LoopField field = modFrequencyField("FMModParams.modFrequency", p.modFrequency, fs);
    if (int rc = closeLoop(period, fs, field, loop)) return rc;
    // The phase one loop leaves behind; as many loops as bring it back to a
    // whole number of turns.
    const Rational fraction = perSample(period);
    const double drift = exactPhaseAfter(plan.shape, fraction, c, loop.samples, nullptr);
    int64_t loops = 0;
    for (int64_t j = 1; withinLoopCaps({loop.periods * j, loop.samples * j}); ++j)
        if (missed(static_cast<double>(j) * drift) <= kPhaseTolerance) {
            loops = j;
            break;
        }
    if (loops == 0)
        return refuse(-1,
                      "FMModParams.freqDeviation = %s: the phase moves on by %s rad over each loop of %lld periods "
                      "and misses its start by at least %s rad within 4096 periods and 2^26 samples",
                      numberText(p.freqDeviation).text, numberText(std::remainder(drift, kTwoPi)).text,
                      static_cast<long long>(loop.periods), numberText(missed(drift)).text);
    const int64_t n = loop.samples * loops;
    Buffer<std::complex<float>> x(static_cast<size_t>(n));
    if (!x) return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(n), "FM samples");
    preferHugePages(x.get(), x.bytesFor(static_cast<size_t>(n)));
    const double end = exactPhaseAfter(plan.shape, fraction, c, n, x.get());
    if (missed(end) > kPhaseTolerance)
        return refuse(-1, "FMModParams.freqDeviation = %s: the phase misses its start by %s rad after %lld periods",
                      numberText(p.freqDeviation).text, numberText(missed(end)).text,
                      static_cast<long long>(loop.periods * loops));
    std::complex<float>* y = x.get();
#pragma omp parallel for schedule(static) if (n >= (1 << 16))
    for (int64_t b = 0; b < (n + 4095) / 4096; ++b)
        phasorsFromPhases(y + b * 4096, static_cast<size_t>(std::min<int64_t>(4096, n - b * 4096)));
    out.complexSamples = std::move(x);
    out.samples = static_cast<int>(n);
    out.loop = loopInfo(period, static_cast<int32_t>(loop.periods * loops), out.samples, fs);
    return 0;
}
