// What the exact loops of the pulse-shaped kinds (digital, spread spectrum)
// share: the resampling ratio from their symbol- or chip-locked rate, the
// periodic resampling of one period into the loop, and the fields their
// refusals name.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>

#include "buffer.h"
#include "hugePages.h"
#include "lastError.h"
#include "loopClosing.h"
#include "periodicResampler.h"
#include "periodicResamplerRun.h"

// Input samples per output, lockedRate / fs, as 64-bit terms p / q; or -1
// with the reason naming `field` = `value`.
int lockedRatio(const std::optional<Rational>& lockedRate, double fs, const char* field, double value, int64_t& p,
                int64_t& q);

// The fields a loop beyond the caps names: the count first (samples per
// period fs / rate times it), else the rate (count fs over it).
LoopField countAndRate(const char* rateField, size_t offset, double rateValue, const char* countField, int count,
                       double fs);

// `outputs` samples of the periodic signal `source` (period `length`) at
// p / q input samples per output into `out`; p == q copies the period.
// `source` has prepare(outputs, window, team) -> 0 or a code, and
// operator()(a, b, dst) for samples [a, b) of the period repeated.
template <class Source>
int resampleInto(Source& source, int64_t length, int64_t p, int64_t q, int64_t outputs,
                 Buffer<std::complex<float>>& out) {
    out = Buffer<std::complex<float>>(static_cast<size_t>(outputs));
    if (!out) return outOfMemory<std::complex<float>>(-3, static_cast<size_t>(outputs), "loop samples");
    preferHugePages(out.get(), out.bytesFor(static_cast<size_t>(outputs)));
    if (p == q) {
        if (int rc = source.prepare(outputs, length, 1)) return rc;
        source(0, outputs, out.get());
        return 0;
    }
    PeriodicResampler resampler;
    if (int rc = resampler.design(p, q)) return rc;
    if (int rc = source.prepare(outputs, periodicWindow(resampler, outputs), periodicTeam(resampler, outputs)))
        return rc;
    return resamplePeriodic(
        resampler, outputs, [&](int64_t a, int64_t b, std::complex<float>* dst) { source(a, b, dst); }, out.get());
}
