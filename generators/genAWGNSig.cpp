// Band-limited complex white Gaussian noise: N + 127 raw samples from the
// Gaussian source, filtered by a 128-tap Hamming-windowed sinc so that every
// output sample is a full-length weighted sum (no start-up transient).
#include <cmath>
#include <complex>
#include <cstdlib>
#include <new>

#include "function.h"
#include "genSignalClass.h"

namespace {
constexpr int kTaps = 128;
constexpr int kCentreTap = 64;
constexpr double kPi = 3.141592653589793;
}  // namespace

int GenSignalClass::genAWGNSig(AWGNParams const* params, double sampleRate, std::complex<float>* samples,
                               int* sampleCount) {
    if (!params || !samples || !sampleCount) return -1;
    const double bandwidth = params->bandwidth;
    const double duration = params->duration;
    if (!(sampleRate > 0) || !std::isfinite(sampleRate)) return -1;
    if (!(bandwidth > 0)) return -1;
    if (!(duration > 0)) return -1;

    // The frame sizes the output from the same product; a count that is not
    // finite or reaches 2^30 is refused, which also keeps N + 127 in range.
    const double length = std::floor(duration * sampleRate);
    if (!countFits(length)) return -1;
    const int n = static_cast<int>(length);
    const int rawLen = n + (kTaps - 1);

    auto* raw = static_cast<std::complex<float>*>(std::malloc(sizeof(std::complex<float>) * rawLen));
    if (!raw) return -1;
    // Drawn in pairs, real part first: each sample carries both values of one
    // accepted polar pair.
    for (int i = 0; i < rawLen; ++i) {
        const float re = static_cast<float>(randn());
        const float im = static_cast<float>(randn());
        raw[i] = std::complex<float>(re, im);
    }

    double c = bandwidth / sampleRate;
    if (c > 0.5) c = 0.5;

    float* taps = new (std::nothrow) float[kTaps];
    if (!taps) {
        std::free(raw);
        return -1;
    }
    auto* window = static_cast<double*>(std::malloc(sizeof(double) * kTaps));
    if (!window) {
        delete[] taps;
        std::free(raw);
        return -1;
    }
    for (int k = 0; k < kTaps; ++k) window[k] = 0.54 - 0.46 * std::cos(kTwoPi * k / (kTaps - 1));
    // The sinc is centred on tap 64, half a tap after the window's centre.
    for (int k = 0; k < kTaps; ++k) {
        const double t = k - kCentreTap;
        const double s = std::fabs(t) < 1e-12 ? c : std::sin(c * t * kPi) / (t * kPi);
        taps[k] = static_cast<float>(static_cast<double>(static_cast<float>(s)) * window[k]);
    }
    std::free(window);

    conv2_complex(raw, rawLen, taps, kTaps, samples, sampleCount);

    std::free(raw);
    delete[] taps;
    return 0;
}
