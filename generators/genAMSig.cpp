// AM envelope: 1 + m*s(t) for a sine, square, triangle or sawtooth s, over a
// whole number of modulation periods whenever one fits whole samples.
#include <cmath>

#include "amPlan.h"
#include "blockPipeline.h"
#include "buffer.h"
#include "generatedWave.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "mathConstants.h"
#include "modulatingWave.h"

namespace {

constexpr int kPerThread = 1 << 15;  // fewer samples per thread stay on one thread
constexpr int kChunk = 8192;         // samples a thread takes at a time

}  // namespace

int GenSignalClass::genAMSig(AMModParams const* params, double sampleRate, double** samples, int* sampleCount) {
    return generateForCaller<AmPlan>(
        "genAMSig", params, samples, sampleCount, [&](AmPlan& plan) { return planAm(*params, sampleRate, plan); },
        [&](const AmPlan& plan, GeneratedWave<double>& wave) { return genAMSig(plan, wave); });
}

int GenSignalClass::genAMSig(const AmPlan& plan, GeneratedWave<double>& wave) {
    const int n = plan.samples;
    Buffer<double> x(static_cast<size_t>(n));
    if (!x) return outOfMemory<double>(-1, n, "AM envelope");
    preferHugePages(x.get(), x.bytesFor(n));
    // The frame's peak and rounding are defined on these doubles, so they
    // are kept; the offset is added as each value is formed.
    const double d = plan.offset;
    double* y = x.get();
    if (plan.shape == 1) {
        const double dt = 1 / plan.sampleRate;
        const double w = kTwoPi * plan.modFrequency;
        // Chunks go to whichever thread is free: on a busy machine a thread
        // that starts late takes fewer of them.
#pragma omp parallel for schedule(dynamic, kChunk) num_threads(teamFor(n, kPerThread)) if (n >= 2 * kPerThread)
        for (int i = 0; i < n; ++i) y[i] = std::sin(i * dt * w) + d;
    } else {
        SegmentWave segments(plan.modFrequency, plan.sampleRate);
        switch (plan.shape) {
            case 2: segments.fill<2>(y, n, d); break;
            case 3: segments.fill<3>(y, n, d); break;
            default: segments.fill<4>(y, n, d); break;
        }
    }
    wave.samples = std::move(x);
    wave.length = n;
    return 0;
}
