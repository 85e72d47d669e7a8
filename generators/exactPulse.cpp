// The pulse train in the exact loop mode: the defined period of whole
// samples at its internal rate (W high, then low), resampled as a periodic
// signal to the fewest whole pulse periods that span whole samples at the
// sample rate: band-limited edges, no images, a seamless loop. A period
// already whole at the sample rate is the defined one.
#include <algorithm>
#include <complex>

#include "exactLoops.h"
#include "hugePages.h"
#include "periodicResampler.h"
#include "pulsePlan.h"

int exactWaveform(GenSignalClass&, const PulseParams& params, int, double fs, const HandleOptions&,
                  ExactWaveform& out) {
    PulsePlan plan{};
    if (int rc = planPulse(params, fs, plan)) return rc;
    const PulseParams p = params;
    const NaturalPeriod period = naturalPeriod(params, 0, fs);
    const auto rate = decimalRational(fs);
    LoopLength loop{};
    if (int rc = closeLoop(
            period, fs, {"PulseParams.pulsePeriod", p.pulsePeriod, {rate ? *rate : Rational{0, 1}, FieldRole::scales}},
            loop))
        return rc;
    const int L = plan.periodSamples, W = plan.highSamples;
    const size_t M = static_cast<size_t>(loop.samples);
    Buffer<float> y(M);
    if (!y) return outOfMemory<float>(-3, M, "pulse samples");
    preferHugePages(y.get(), y.bytesFor(M));
    // Input samples per output: L over the samples of one period at fs.
    const auto ratio = divide(wholeRational(static_cast<uint64_t>(L)), *period.samples);
    if (ratio && *ratio == Rational{1, 1}) {
        for (size_t i = 0; i < M; ++i) y[i] = i < static_cast<size_t>(W) ? 1.0f : 0.0f;
    } else {
        if (!ratio || ratio->num > static_cast<u128>(INT64_MAX) || ratio->den > static_cast<u128>(INT64_MAX))
            return refuse(-1, "PulseParams.pulsePeriod = %s: its resampling ratio has no exact fraction of 64 bits",
                          numberText(p.pulsePeriod).text);
        Buffer<std::complex<float>> x(static_cast<size_t>(L)), z(M);
        if (!x || !z) return outOfMemory<std::complex<float>>(-3, M + static_cast<size_t>(L), "pulse resampling");
        for (int i = 0; i < L; ++i) x[i] = {i < W ? 1.0f : 0.0f, 0.0f};
        PeriodicResampler resampler;
        if (int rc = resampler.design(static_cast<int64_t>(ratio->num), static_cast<int64_t>(ratio->den))) return rc;
        const std::complex<float>* period0 = x.get();
        if (int rc = resamplePeriodic(
                resampler, loop.samples,
                [&](int64_t a, int64_t b, std::complex<float>* dst) { copyPeriodic(period0, L, a, b, dst); }, z.get()))
            return rc;
        for (size_t i = 0; i < M; ++i) y[i] = z[i].real();
    }
    out.realSamples = std::move(y);
    out.samples = static_cast<int>(M);
    out.loop = loopInfo(period, static_cast<int32_t>(loop.periods), out.samples, fs);
    return 0;
}
