// AM envelope: 1 + m*s(t) for a sine, square, triangle or sawtooth s, over a
// whole number of modulation periods whenever one fits whole samples.
#include <cmath>

#include "blockPipeline.h"
#include "buffer.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "mathConstants.h"
#include "modulatingWave.h"
#include "rangeChecks.h"

namespace {

struct AmPlan {
    int samples;
    int shape;
    double modFrequency;
    double offset;  // lifts the wave so that it reads 1 + m*s(t) once scaled
};

int planAm(const AMModParams& p, double sampleRate, AmPlan& plan) {
    if (int rc = checkSampleRate(sampleRate)) return rc;
    const double fm = p.modFrequency;
    if (!finitePositive(fm))
        return refuse(-1, "AMModParams.modFrequency = %s: must be finite and above 0", numberText(fm).text);
    const double m = p.modDepth / 100;
    if (!(m > 0)) return refuse(-1, "AMModParams.modDepth = %s: must be above 0", numberText(p.modDepth).text);

    const double q = sampleRate / fm;  // samples per modulation period
    const double v = wholePeriodCount(q) * q;
    if (!countFits(v)) return refuseLength(std::floor(v));
    const int n = static_cast<int>(v);
    if (n == 0)
        return refuse(-1, "AMModParams.modFrequency = %s: 10000 periods make no whole sample at sampleRate = %s",
                      numberText(fm).text, numberText(sampleRate).text);
    const int shape = p.modShape;
    if (!knownModShape(shape)) return refuse(-1, "AMModParams.modShape = %d: %s", shape, kModShapeRule);

    plan = {n, shape, fm, shape == 1 ? 1 / m : 0.5 / m - 0.5};
    return 0;
}

constexpr int kPerThread = 1 << 15;  // fewer samples per thread stay on one thread
constexpr int kChunk = 8192;         // samples a thread takes at a time

}  // namespace

int GenSignalClass::genAMSig(AMModParams const* params, double sampleRate, double** samples, int* sampleCount) {
    if (!params) return refuseNull("genAMSig", "params");
    if (!samples) return refuseNull("genAMSig", "samples");
    if (!sampleCount) return refuseNull("genAMSig", "sampleCount");
    AmPlan plan{};
    if (int rc = planAm(*params, sampleRate, plan)) return rc;

    const int n = plan.samples;
    Buffer<double> x(static_cast<size_t>(n));
    if (!x) return refuse(-1, "out of memory: %zu bytes for the AM envelope", Buffer<double>::bytesFor(n));
    preferHugePages(x.get(), x.bytesFor(n));
    // The frame's peak and rounding are defined on these doubles, so they
    // are kept; the offset is added as each value is formed.
    const double d = plan.offset;
    if (plan.shape == 1) {
        const double dt = 1 / sampleRate;
        const double w = kTwoPi * plan.modFrequency;
        double* y = x.get();
        // Chunks go to whichever thread is free: on a busy machine a thread
        // that starts late takes fewer of them.
#pragma omp parallel for schedule(dynamic, kChunk) num_threads(teamFor(n, kPerThread)) if (n >= 2 * kPerThread)
        for (int i = 0; i < n; ++i) y[i] = std::sin(i * dt * w) + d;
    } else {
        SegmentWave wave(plan.modFrequency, sampleRate);
        double* y = x.get();
        switch (plan.shape) {
            case 2: wave.fill<2>(y, n, d); break;
            case 3: wave.fill<3>(y, n, d); break;
            default: wave.fill<4>(y, n, d); break;
        }
    }

    *samples = x.release();
    *sampleCount = n;
    return 0;
}
