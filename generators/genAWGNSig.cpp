// Band-limited complex white Gaussian noise: N + 127 raw samples from the
// Gaussian source, filtered by a 128-tap Hamming-windowed sinc so that every
// output sample is a full-length weighted sum (no start-up transient).
#include <cmath>
#include <complex>

#include "buffer.h"
#include "function.h"
#include "genSignalClass.h"
#include "planChecks.h"
#include "presizedPlans.h"

namespace {
constexpr int kTaps = 128;
constexpr int kCentreTap = 64;
constexpr double kPi = 3.141592653589793;
}  // namespace

int planAwgn(const AWGNParams& p, double sampleRate, AwgnPlan& plan) {
    if (int rc = checkSampleRate(sampleRate)) return rc;
    // Any bandwidth above half the rate acts as half the rate, infinity too.
    const double bandwidth = p.bandwidth;
    if (!(bandwidth > 0)) return refuse(-1, "AWGNParams.bandwidth = %s: must be above 0", numberText(bandwidth).text);
    const double duration = p.duration;
    if (!finitePositive(duration))
        return refuse(-1, "AWGNParams.duration = %s: must be finite and above 0", numberText(duration).text);
    // Below 2^30 samples, N + 127 stays in range too.
    const double length = std::floor(duration * sampleRate);
    if (!countFits(length)) return refuseLength(length);

    const double c = bandwidth / sampleRate;
    plan = {static_cast<int>(length), c > 0.5 ? 0.5 : c};
    return 0;
}

int GenSignalClass::genAWGNSig(AWGNParams const* params, double sampleRate, std::complex<float>* samples,
                               int* sampleCount) {
    if (!params) return refuseNull("genAWGNSig", "params");
    if (!samples) return refuseNull("genAWGNSig", "samples");
    if (!sampleCount) return refuseNull("genAWGNSig", "sampleCount");
    AwgnPlan plan{};
    if (int rc = planAwgn(*params, sampleRate, plan)) return rc;

    // Everything is allocated before the first draw, so that a failure
    // leaves the noise stream where it was.
    const int rawLen = plan.samples + (kTaps - 1);
    Buffer<std::complex<float>> raw(static_cast<size_t>(rawLen));
    if (!raw) return refuse(-1, "out of memory: %zu bytes for the raw noise", raw.bytesFor(rawLen));
    Buffer<float> taps(kTaps);
    if (!taps) return refuse(-1, "out of memory: %zu bytes for the filter taps", taps.bytesFor(kTaps));
    Buffer<double> window(kTaps);
    if (!window) return refuse(-1, "out of memory: %zu bytes for the filter window", window.bytesFor(kTaps));

    // Drawn in pairs, real part first: each sample carries both values of one
    // accepted polar pair.
    for (int i = 0; i < rawLen; ++i) {
        const float re = static_cast<float>(randn());
        const float im = static_cast<float>(randn());
        raw[i] = std::complex<float>(re, im);
    }

    const double c = plan.cutoff;
    for (int k = 0; k < kTaps; ++k) window[k] = 0.54 - 0.46 * std::cos(kTwoPi * k / (kTaps - 1));
    // The sinc is centred on tap 64, half a tap after the window's centre.
    for (int k = 0; k < kTaps; ++k) {
        const double t = k - kCentreTap;
        const double s = std::fabs(t) < 1e-12 ? c : std::sin(c * t * kPi) / (t * kPi);
        taps[k] = static_cast<float>(static_cast<double>(static_cast<float>(s)) * window[k]);
    }

    conv2_complex(raw.get(), rawLen, taps.get(), kTaps, samples, sampleCount);
    return 0;
}
