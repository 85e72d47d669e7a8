// The stepped sweep, the ramp and the OFDM frame in the exact loop mode. A
// sweep is its own loop once every dwell (the ramp: its whole length) spans
// a whole number of samples; the steps lie symmetrically about 0 Hz, so the
// phase then turns by a whole number of turns over the sweep. The defined
// output is returned wherever its step changes fall on those whole-sample
// boundaries; elsewhere the phase runs over exact boundaries. An OFDM frame
// is whole samples by construction.
#include <omp.h>

#include <cmath>
#include <cstdint>

#include "exactLoops.h"
#include "generatedWave.h"
#include "mathConstants.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "phaseSlots.h"
#include "ofdmPlan.h"
#include "rampSweepPlan.h"
#include "stepSweepPlan.h"

namespace {

int refuseLong(const char* what, int64_t samples) {
    return refuse(-1, "%s spans %lld samples, beyond the loop cap of 2^26", what, static_cast<long long>(samples));
}

// Whether the defined sweep changes step exactly at multiples of `dwell`
// samples: step s (from 1) is in force from the first i with
// s * dwellTime <= i * dt.
bool definedStepsOnBoundaries(const StepSweepPlan& plan, double fs, int64_t dwell) {
    const double dt = 1 / fs;
    for (int64_t s = 1; s < plan.steps; ++s) {
        const int64_t b = s * dwell;
        const double t = s * plan.dwellTime;
        if (!(t <= static_cast<int>(b) * dt) || t <= static_cast<int>(b - 1) * dt) return false;
    }
    return true;
}

}  // namespace

int exactWaveform(GenSignalClass& dsp, const StepSweepParams& params, int, double fs, const HandleOptions&,
                  ExactWaveform& out) {
    StepSweepPlan plan{};
    if (int rc = planStepSweep(params, fs, plan)) return rc;
    if (int rc = refuseAboveNyquist(params, fs)) return rc;
    int64_t dwell = 0;
    if (int rc = wholeSpan("StepSweepParams.dwellTime", plan.dwellTime, fs, dwell)) return rc;
    const int64_t n = dwell * plan.steps;
    if (n > kMaxLoopSamples) return refuseLong("the sweep", n);
    const NaturalPeriod period = naturalPeriod(params, 0, fs);
    Buffer<std::complex<float>> x(static_cast<size_t>(n));
    if (!x) return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(n), "sweep samples");
    preferHugePages(x.get(), x.bytesFor(static_cast<size_t>(n)));
    if (plan.samples == n && definedStepsOnBoundaries(plan, fs, dwell)) {
        if (int rc = dsp.genStepSweepSig(plan, x.get())) return rc;
    } else {
        // The defined phase law over exact boundaries.
        const double dt = 1 / fs;
        double phi = 0;
        std::complex<float>* y = x.get();
        for (int64_t i = 0; i < n; ++i) {
            const double f = (static_cast<double>(i / dwell) - plan.centre) * plan.delta;
            phi = std::fma(f * kTwoPi, dt, phi);
            storePhase(y + i, phi);
        }
#pragma omp parallel for schedule(static) if (n >= (1 << 16))
        for (int64_t b = 0; b < (n + 4095) / 4096; ++b)
            phasorsFromPhases(y + b * 4096, static_cast<size_t>(std::min<int64_t>(4096, n - b * 4096)));
    }
    out.complexSamples = std::move(x);
    out.samples = static_cast<int>(n);
    out.loop = loopInfo(period, 1, out.samples, fs);
    return 0;
}

int exactWaveform(GenSignalClass& dsp, const RampSweepParams& params, int, double fs, const HandleOptions&,
                  ExactWaveform& out) {
    RampSweepPlan plan{};
    if (int rc = planRampSweep(params, fs, plan)) return rc;
    if (int rc = refuseAboveNyquist(params, fs)) return rc;
    const RampSweepParams p = params;
    const bool rampLonger = p.sweepTime > p.duration;
    int64_t n = 0;
    if (int rc = wholeSpan(rampLonger ? "RampSweepParams.sweepTime" : "RampSweepParams.duration",
                           rampLonger ? p.sweepTime : p.duration, fs, n))
        return rc;
    if (n > kMaxLoopSamples) return refuseLong("the ramp and its silence", n);
    Buffer<std::complex<float>> x(static_cast<size_t>(plan.samples));
    if (!x) return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(plan.samples), "ramp samples");
    if (int rc = dsp.genRampSweepSig(plan, x.get())) return rc;
    out.complexSamples = std::move(x);
    out.samples = plan.samples;
    out.loop = loopInfo(naturalPeriod(params, 0, fs), 1, plan.samples, fs);
    return 0;
}

int exactWaveform(GenSignalClass& dsp, const OFDMParams& params, int, double fs, const HandleOptions&,
                  ExactWaveform& out) {
    OfdmPlan plan{};
    if (int rc = planOfdm(params, plan)) return rc;
    if (plan.samples > kMaxLoopSamples) return refuseLong("the OFDM frame", plan.samples);
    GeneratedWave<std::complex<float>> wave;
    if (int rc = dsp.genOFDMSig(plan, wave)) return rc;
    if (int rc = expandRuns(wave, -3, "OFDM samples")) return rc;
    out.complexSamples = std::move(wave.samples);
    out.samples = wave.length;
    out.loop = loopInfo(naturalPeriod(params, 0, fs), 1, wave.length, fs);
    return 0;
}
