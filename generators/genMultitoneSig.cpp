// N equal-amplitude tones placed symmetrically about 0 Hz, one common period
// built at an internal rate that makes the period whole samples, then
// resampled to the requested rate when the two differ.
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdint>

#include "blockPipeline.h"
#include "buffer.h"
#include "farrow.h"
#include "genSignalClass.h"
#include "mathConstants.h"
#include "rangeChecks.h"

namespace {

constexpr int64_t kPerThread = 1 << 14;  // tone evaluations per thread below which one thread does all

struct MultitonePlan {
    int tones;            // N
    double spacing;       // Hz between neighbouring tones
    double internalRate;  // r' = K * highest tone, at or below the sample rate
    int patternSamples;   // L: one period of the base tone at r'
    bool resample;        // r' is not the sample rate
    int resampledRoom;    // samples the resampler's output array holds
};

int planMultitone(const MultitoneParams& p, double sampleRate, MultitonePlan& plan) {
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
    int room = 0;
    if (resample) {
        const double quotient = std::ceil(L * sampleRate / rInt);
        const int written = farrowOutputLength(L, sampleRate, rInt);
        if (!countFits(quotient) || written < 0)
            return refuseLength(written < 0 ? std::fmax(quotient, kMaxSamples) : quotient);
        const int padded = static_cast<int>(quotient) + 4;
        room = written > padded ? written : padded;
    }

    plan = {N, df, rInt, L, resample, room};
    return 0;
}

}  // namespace

int GenSignalClass::genMultitoneSig(MultitoneParams const* params, double sampleRate, std::complex<float>** samples,
                                    int* sampleCount) {
    if (!params) return refuseNull("genMultitoneSig", "params");
    if (!samples) return refuseNull("genMultitoneSig", "samples");
    if (!sampleCount) return refuseNull("genMultitoneSig", "sampleCount");
    MultitonePlan plan{};
    if (int rc = planMultitone(*params, sampleRate, plan)) return rc;

    const int N = plan.tones;
    const int L = plan.patternSamples;
    Buffer<double> f(static_cast<size_t>(N));
    if (!f) return refuse(-1, "out of memory: %zu bytes for the tone list", f.bytesFor(N));
    Buffer<std::complex<float>> x(static_cast<size_t>(L));
    if (!x) return refuse(-1, "out of memory: %zu bytes for the tone pattern", x.bytesFor(L));
    Buffer<std::complex<float>> y;
    if (plan.resample) {
        y = Buffer<std::complex<float>>(static_cast<size_t>(plan.resampledRoom));
        if (!y) return refuse(-1, "out of memory: %zu bytes for the resampled pattern", y.bytesFor(plan.resampledRoom));
    }

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

    // The tone at -f has exactly the negated argument of the tone at +f, and
    // this libm's cosine is even and its sine odd to the bit (a test checks
    // that over many arguments): each +-f pair costs one sincos. The sums
    // still run over the list in its order.
    const int odd = N % 2;
    const int h = (N - odd) / 2;  // tones above 0 Hz: f[odd ... odd + h)
    const int team = teamFor(static_cast<int64_t>(L) * N, kPerThread);
    const size_t pairValues = 2 * static_cast<size_t>(h) * team;
    Buffer<double> pairs(pairValues);
    if (!pairs) return refuse(-1, "out of memory: %zu bytes for the tone values", pairs.bytesFor(pairValues));
    const double* freq = f.get();
    const double dt = 1 / plan.internalRate;
    std::complex<float>* const pattern = x.get();
#pragma omp parallel num_threads(team) if (team > 1)
    {
        double* const cs = pairs.get() + 2 * static_cast<size_t>(h) * omp_get_thread_num();
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

    if (!plan.resample) {
        *samples = x.release();
        *sampleCount = L;
        return 0;
    }
    int n = 0;
    FarrowInterp(x.get(), L, sampleRate, plan.internalRate, y.get(), &n);
    *samples = y.release();
    *sampleCount = n;
    return 0;
}
