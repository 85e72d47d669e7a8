#include "multitonePlan.h"

#include <cmath>

#include "farrow.h"
#include "lastError.h"
#include "planCount.h"
#include "rangeChecks.h"

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

    plan = {N, df, rInt, L, resample, written, room, sampleRate};
    return 0;
}
