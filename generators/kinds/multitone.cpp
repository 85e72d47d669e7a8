#include "multitone.h"

#include <omp.h>

#include <cstddef>
#include <cmath>
#include <complex>
#include <cstdint>

#include "blockPipeline.h"
#include "buffer.h"
#include "farrow.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "lastError.h"
#include "loopClosing.h"
#include "mathConstants.h"
#include "planCount.h"
#include "rangeChecks.h"
#include "toneSynthesis.h"
#include "threadRows.h"

namespace {

using Sample = std::complex<float>;

constexpr int64_t kPerThread = 1 << 14;  // tone evaluations per thread below which one thread does all

// The starting phase of each entry of the tone list: entry k is tone h + k
// of the ascending order (0 Hz and above), entry h + k of the negatives
// tone h - 1 - k (odd: h - k).
void listPhases(const MultitonePlan& plan, double* phase) {
    const int N = plan.tones, odd = N % 2, h = (N - odd) / 2;
    for (int k = 0; k < N; ++k) {
        const int above = k < h + odd, ascending = above ? h + k : (odd ? 2 * h - k : 2 * h - 1 - k);
        phase[k] = tonePhase(plan.phases, ascending, N, plan.phaseSeed);
    }
}

// Zero phases: the tone at -f has exactly the negated argument of the tone
// at +f, and this libm's cosine is even and its sine odd to the bit (a test
// checks that over many arguments), so each +-f pair costs one sincos. The
// sums still run over the list in its order. Each thread of the team has
// a row of 2h values in `pairs`.
void zeroPhaseTones(const MultitonePlan& plan, const double* freq, const ThreadRows<double>& pairs, int team,
                    Sample* pattern) {
    const int N = plan.tones, L = plan.patternSamples;
    const int odd = N % 2;
    const int h = (N - odd) / 2;  // tones above 0 Hz: f[odd ... odd + h)
    const double dt = 1 / plan.internalRate;
#pragma omp parallel num_threads(team) if (team > 1)
    {
        double* const cs = pairs.row(omp_get_thread_num());
        // Chunks go to whichever thread is free: on a busy machine a thread
        // that starts late takes fewer of them.
#pragma omp for schedule(dynamic, 64)
        for (int i = 0; i < L; ++i) {
            const double t = i * dt;
            double re = 0, im = 0;
            for (int k = 0; k < odd + h; ++k) {
                double sn, cn;
                ::sincos((freq[k] * kTwoPi) * t, &sn, &cn);
                re += cn;
                im += sn;
                if (k >= odd) {
                    cs[2 * (k - odd)] = cn;
                    cs[2 * (k - odd) + 1] = sn;
                }
            }
            for (int k = 0; k < h; ++k) {
                re += cs[2 * k];
                im += -cs[2 * k + 1];
            }
            pattern[i] = {static_cast<float>(re), static_cast<float>(im)};
        }
    }
}

// Any phases: every tone on its own, in the list's order.
void phasedTones(const MultitonePlan& plan, const double* freq, const double* start, int team, Sample* pattern) {
    const int N = plan.tones, L = plan.patternSamples;
    const double dt = 1 / plan.internalRate;
#pragma omp parallel for schedule(dynamic, 64) num_threads(team) if (team > 1)
    for (int i = 0; i < L; ++i) {
        const double t = i * dt;
        double re = 0, im = 0;
        for (int k = 0; k < N; ++k) {
            double sn, cn;
            ::sincos((freq[k] * kTwoPi) * t + start[k], &sn, &cn);
            re += cn;
            im += sn;
        }
        pattern[i] = {static_cast<float>(re), static_cast<float>(im)};
    }
}

}  // namespace

int planMultitone(const MultitoneParams& p, double sampleRate, MultitonePlan& plan) {
    countPlan();
    if (int rc = checkSampleRate(sampleRate)) return rc;
    const int N = p.toneCount;
    if (N < 2) return refuse(-1, "MultitoneParams.toneCount = %d: must be at least 2", N);
    const double df = p.toneSpacing;
    if (!finitePositive(df))
        return refuse(-1, "MultitoneParams.toneSpacing = %s: must be finite and above 0", numberText(df).text);

    // The highest and the base tone, by the very operations that fill the
    // tone list, so that nothing of size N is needed to check the rules.
    // Even N: tones at +-(k * df + df / 2); odd N: at 0 and +-k * df.
    const double fmax = N % 2 == 0 ? std::fma(static_cast<double>(N / 2 - 1), df, df * 0.5) : ((N - 1) / 2) * df;
    const double fb = N % 2 == 0 ? std::fma(0.0, df, df * 0.5) : 1 * df;
    if (!(fb > 0))
        return refuse(-1, "MultitoneParams.toneSpacing = %s: the lowest tone rounds to 0 Hz", numberText(df).text);

    // Samples per period of the highest tone, then one period of the base
    // tone at the internal rate.
    const double kSamples = std::floor(sampleRate / fmax);
    if (kSamples < 1)
        return refuse(-1, "sampleRate = %s is below the highest tone, %s Hz", numberText(sampleRate).text,
                      numberText(fmax).text);
    const double rInt = kSamples * fmax;
    const double lSamples = std::floor((1 / fb) * rInt);
    if (!countFits(kSamples) || !countFits(lSamples)) return refuseLength(lSamples);
    if (lSamples < 1)
        return refuse(-1, "MultitoneParams.toneSpacing = %s: one period of the tones makes no whole sample at %s Hz",
                      numberText(df).text, numberText(rInt).text);
    const int L = static_cast<int>(lSamples);

    // The resampler's output: ceil(L * rate / r') + 4, but never less than it
    // writes.
    const bool resample = !(std::fabs(sampleRate - rInt) <= 1e-12);
    int written = L, room = 0;
    if (resample) {
        const double quotient = std::ceil(L * sampleRate / rInt);
        written = farrowOutputLength(L, sampleRate, rInt);
        if (!countFits(quotient) || written < 0)
            return refuseLength(written < 0 ? std::fmax(quotient, kMaxSamples) : quotient);
        const int padded = static_cast<int>(quotient) + 4;
        room = written > padded ? written : padded;
    }

    plan = {N, df, rInt, L, resample, written, room, sampleRate, TonePhases::zero, 0};
    return 0;
}

void multitoneToneList(const MultitonePlan& plan, double* f) {
    const int N = plan.tones;
    const double df = plan.spacing;
    if (N % 2 == 0) {
        const int h = N / 2;
        for (int k = 0; k < h; ++k) f[k] = std::fma(static_cast<double>(k), df, df * 0.5);
        for (int k = 0; k < h; ++k) f[h + k] = -f[k];
    } else {
        const int h = (N - 1) / 2;
        for (int k = 0; k <= h; ++k) f[k] = k * df;
        for (int k = 1; k <= h; ++k) f[h + k] = -f[k];
    }
}

int GenSignalClass::genMultitoneSig(MultitoneParams const* params, double sampleRate, Sample** samples,
                                    int* sampleCount) {
    return generateForCaller<MultitonePlan>(
        "genMultitoneSig", params, samples, sampleCount,
        [&](MultitonePlan& plan) { return planMultitone(*params, sampleRate, plan); },
        [&](const MultitonePlan& plan, GeneratedWave<Sample>& wave) { return genMultitoneSig(plan, wave); });
}

int GenSignalClass::genMultitoneSig(const MultitonePlan& plan, GeneratedWave<Sample>& wave) {
    const int N = plan.tones;
    const int L = plan.patternSamples;
    const bool zero = plan.phases == TonePhases::zero;
    // The phases share the tone list's array when there are any.
    Buffer<double> f(static_cast<size_t>(zero ? N : 2 * N));
    if (!f) return outOfMemory<double>(-1, zero ? N : 2 * static_cast<size_t>(N), "tone list");
    Buffer<Sample> x(static_cast<size_t>(L));
    if (!x) return outOfMemory<Sample>(-1, L, "tone pattern");
    Buffer<Sample> y;
    if (plan.resample) {
        y = Buffer<Sample>(static_cast<size_t>(plan.resampledRoom));
        if (!y) return outOfMemory<Sample>(-1, plan.resampledRoom, "resampled pattern");
    }
    multitoneToneList(plan, f.get());
    const int team = teamNowFor(static_cast<int64_t>(L) * N, kPerThread);
    if (zero) {
        // Every sample writes each thread's values.
        const int h = (N - N % 2) / 2;
        const ThreadRows<double> pairs(2 * static_cast<size_t>(h), team);
        if (!pairs) return outOfMemory<double>(-1, 2 * static_cast<size_t>(h) * team, "tone values");
        zeroPhaseTones(plan, f.get(), pairs, team, x.get());
    } else {
        listPhases(plan, f.get() + N);
        phasedTones(plan, f.get(), f.get() + N, team, x.get());
    }
    if (plan.resample) {
        farrowResample(x.get(), L, plan.internalRate / plan.sampleRate, plan.resampled, y.get());
        x = std::move(y);
    }
    wave.samples = std::move(x);
    wave.length = plan.resampled;
    return 0;
}

template <>
int MultitoneKind::plan(const Params& p, const KindCall& call, Plan& plan) {
    if (int rc = planMultitone(p, call.sampleRate, plan)) return rc;
    plan.phases = call.settings.phases;
    plan.phaseSeed = call.settings.phaseSeed;
    return 0;
}

template <>
NaturalPeriod MultitoneKind::period(const Params& params, const KindCall& call) {
    const MultitoneParams p = params;
    const double fs = call.sampleRate;
    // The lowest tone's distance from the centre: half the spacing for an
    // even count, the spacing for an odd one; its period is common to all.
    const bool even = p.toneCount % 2 == 0;
    const std::optional<Rational> base =
        even ? product(decimalRational(p.toneSpacing), Rational{1, 2}) : decimalRational(p.toneSpacing);
    return periodOf(decimalRational(fs), base, fs / (even ? p.toneSpacing / 2 : p.toneSpacing));
}

template <>
bool MultitoneKind::aboveNyquist(const Params& params, double fs, BandReason& why) {
    const MultitoneParams p = params;
    if (!(fs > 0) || !std::isfinite(fs) || p.toneCount < 2 || !std::isfinite(p.toneSpacing) || !(p.toneSpacing > 0))
        return false;
    const double highest = (p.toneCount - 1) * p.toneSpacing / 2;
    if (!toneAbove(highest, fs / 2)) return false;
    return say(why,
               "MultitoneParams.toneSpacing = %s: the highest of %d tones, %s Hz, lies at or above half the "
               "sample rate, %s Hz",
               numberText(p.toneSpacing).text, p.toneCount, numberText(highest).text, numberText(fs / 2).text);
}

template <>
int MultitoneKind::generate(GenSignalClass& obj, const Plan& plan, const KindCall&, GeneratedWave<Sample>& wave,
                            MadeLoop& made) {
    // The cubic resampler does not wrap: it reads beyond the pattern's end.
    if (plan.resample) made.seam = "the cubic resampler does not wrap around the tones' period";
    return obj.genMultitoneSig(plan, wave);
}

template <>
int MultitoneKind::loop(GenSignalClass&, const Params& p, const Plan& plan, const KindCall& call,
                        const NaturalPeriod& period, GeneratedWave<Sample>& wave, MadeLoop& made) {
    const int N = plan.tones;
    const double fs = call.sampleRate;
    // Samples per period: fs over the lowest tone's distance from the centre.
    const bool even = N % 2 == 0;
    const auto rate = decimalRational(fs);
    const std::optional<Rational> K = rate ? (even ? multiply(*rate, Rational{2, 1}) : rate) : std::nullopt;
    LoopLength loop{};
    if (int rc = closeLoop(period, fs,
                           {"MultitoneParams.toneSpacing", p.toneSpacing, closingRule(K, FieldRole::divides),
                            offsetof(MultitoneParams, toneSpacing)},
                           loop))
        return rc;

    // Tone k, ascending, turns (2k - N + 1) P times in the buffer for an even
    // count (its frequency is (k - N/2 + 1/2) spacings), (k - (N-1)/2) P
    // times for an odd one.
    Buffer<int64_t> cycles(static_cast<size_t>(N));
    Buffer<double> phases(static_cast<size_t>(N));
    if (!cycles || !phases) return outOfMemory<double>(-3, 2 * static_cast<size_t>(N), "tone list");
    for (int k = 0; k < N; ++k) {
        cycles[k] = even ? (2 * static_cast<int64_t>(k) - N + 1) * loop.periods
                         : (static_cast<int64_t>(k) - (N - 1) / 2) * loop.periods;
        phases[k] = tonePhase(plan.phases, k, N, plan.phaseSeed);
    }
    const size_t M = static_cast<size_t>(loop.samples);
    Buffer<Sample> samples(M);
    if (!samples) return outOfMemory<Sample>(-3, M, "multitone samples");
    preferHugePages(samples.get(), samples.bytesFor(M));
    if (int rc = synthesizeTones({cycles.get(), phases.get(), N, loop.samples}, samples.get())) return rc;
    wave.samples = std::move(samples);
    wave.length = static_cast<int>(loop.samples);
    made.periods = loop.periods;
    return 0;
}
