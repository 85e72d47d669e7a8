#include "tapGains.h"

#include <cmath>

#include "channelStages.h"
#include "cpuDispatch.h"
#include "counterRandom.h"
#include "mathConstants.h"

namespace {

constexpr int kLargestStep = 256;
constexpr double kLargestTurnPerStep = 0.2;  // radians of the fastest line between two grid points

int64_t floorMod(int64_t a, int64_t n) {
    const int64_t r = a % n;
    return r < 0 ? r + n : r;
}

std::complex<double> unitPhasor(int64_t numerator, int64_t n) {
    double s, c;
    ::sincos(kTwoPi * static_cast<double>(numerator) / static_cast<double>(n), &s, &c);
    return {c, s};
}

std::complex<double> gaussian(uint64_t seed, uint32_t stage, int tap, int64_t index) {
    float re, im;
    complexGaussian(seed, stage, static_cast<uint32_t>(tap), static_cast<uint64_t>(index), &re, &im);
    return {re, im};
}

}  // namespace

int gainGridStep(double dopplerHz, double sampleRate) {
    int step = kLargestStep;
    while (step > 1 && kTwoPi * dopplerHz * step / sampleRate > kLargestTurnPerStep) step /= 2;
    return step;
}

double jakesShare(double lo, double hi, double dopplerHz) {
    auto angle = [&](double f) {
        const double r = f / dopplerHz;
        return std::asin(r < -1 ? -1.0 : (r > 1 ? 1.0 : r));
    };
    return (angle(hi) - angle(lo)) / kPi;
}

int TapGains::plan(const DelayLine& line, double dopplerHz, int64_t n, double sampleRate, uint64_t seed, int team) {
    n_ = n;
    taps_ = line.count;
    // fD T as (fD / fs) n: at most n / 2 (fD is at most fs / 2) whatever the
    // rate, where fD n or n / fs alone can overflow; line m lies at m fs / n.
    const double lineSpacing = sampleRate / static_cast<double>(n);
    const double lines = std::floor(dopplerHz / sampleRate * static_cast<double>(n));
    halfLines_ = dopplerHz > 0 && lines >= 1 ? static_cast<int>(lines) : 0;
    const int M = halfLines_, width = 2 * M + 1;
    amplitude_ = Buffer<std::complex<double>>(static_cast<size_t>(taps_) * width);
    stepPower_ = Buffer<std::complex<double>>(static_cast<size_t>(M) + 1);
    if (!amplitude_ || !stepPower_)
        return outOfMemory<std::complex<double>>(-3, static_cast<size_t>(taps_) * width, "Doppler lines");
    for (int k = 0; k < taps_; ++k) {
        const DelayLineTap& t = line.taps[k];
        std::complex<double>* a = amplitude_.get() + static_cast<size_t>(k) * width;
        for (int m = -M; m <= M; ++m) {
            double share = 1;
            if (M > 0) {
                const double lo = m == -M ? -dopplerHz : (m - 0.5) * lineSpacing;
                const double hi = m == M ? dopplerHz : (m + 0.5) * lineSpacing;
                share = jakesShare(lo, hi, dopplerHz);
            }
            a[m + M] = std::sqrt(t.diffusePower * share) * gaussian(seed, kStageFading, k, m + M);
        }
        if (t.specularPower > 0) {
            const double phase = kTwoPi * unitFrom32(counterBlock(seed, kStageLineOfSight, k, 0).w[0]);
            a[M] += std::sqrt(t.specularPower) * std::complex<double>(std::cos(phase), std::sin(phase));
        }
    }
    step_ = gainGridStep(dopplerHz, sampleRate);
    const std::complex<double> turn = unitPhasor(step_ % n, n);
    stepPower_[0] = 1;
    for (int m = 1; m <= M; ++m) stepPower_[m] = stepPower_[m - 1] * turn;
    // Weights of the grid points at -1, 0, 1, 2 for the fraction t = r / D.
    for (int r = 0; r < step_; ++r) {
        const double t = static_cast<double>(r) / step_;
        weight_[0][r] = static_cast<float>(-t * (t - 1) * (t - 2) / 6);
        weight_[1][r] = static_cast<float>((t + 1) * (t - 1) * (t - 2) / 2);
        weight_[2][r] = static_cast<float>(-(t + 1) * t * (t - 2) / 2);
        weight_[3][r] = static_cast<float>((t + 1) * t * (t - 1) / 6);
    }
    points_ = kGainBlock / step_ + 4;
    const size_t threads = static_cast<size_t>(team);
    grid_ = Buffer<std::complex<double>>(threads * static_cast<size_t>(points_));
    gridFloat_ = Buffer<std::complex<float>>(threads * static_cast<size_t>(points_));
    phasor_ = Buffer<std::complex<double>>(threads * (static_cast<size_t>(M) + 1));
    if (!grid_ || !gridFloat_ || !phasor_)
        return outOfMemory<std::complex<double>>(-3, threads * (static_cast<size_t>(M) + 1), "Doppler phasors");
    return 0;
}

std::complex<float> TapGains::constantGain(int tap) const {
    const std::complex<double> a = amplitude_[static_cast<size_t>(tap)];
    return {static_cast<float>(a.real()), static_cast<float>(a.imag())};
}

void TapGains::block(int tap, int64_t first, int count, float* re, float* im, int thread) const {
    const int M = halfLines_;
    if (M == 0) {
        const std::complex<float> g = constantGain(tap);
        for (int u = 0; u < count; ++u) {
            re[u] = g.real();
            im[u] = g.imag();
        }
        return;
    }
    const std::complex<double>* a = amplitude_.get() + static_cast<size_t>(tap) * (2 * M + 1) + M;
    std::complex<double>* cur = phasor_.get() + static_cast<size_t>(thread) * (static_cast<size_t>(M) + 1);
    std::complex<double>* grid = grid_.get() + static_cast<size_t>(thread) * static_cast<size_t>(points_);
    std::complex<float>* gf = gridFloat_.get() + static_cast<size_t>(thread) * static_cast<size_t>(points_);
    // Grid points (j0 - 1 + i) D, i < points, around the block.
    const int D = step_;
    const int points = (count + D - 1) / D + 3;
    const int64_t j0 = first / D;
    const std::complex<double> e1 = unitPhasor(floorMod((j0 - 1) * D, n_), n_);
    cur[0] = 1;
    for (int m = 1; m <= M; ++m) cur[m] = cur[m - 1] * e1;
    for (int i = 0; i < points; ++i) {
        std::complex<double> g = a[0];
        for (int m = 1; m <= M; ++m) g += a[m] * cur[m] + a[-m] * std::conj(cur[m]);
        grid[i] = g;
        for (int m = 1; m <= M; ++m) cur[m] *= stepPower_[m];
    }
    for (int i = 0; i < points; ++i) gf[i] = {static_cast<float>(grid[i].real()), static_cast<float>(grid[i].imag())};
    if (D == 1) {
        for (int u = 0; u < count; ++u) {
            re[u] = gf[u + 1].real();
            im[u] = gf[u + 1].imag();
        }
        return;
    }
    const float *w0 = weight_[0], *w1 = weight_[1], *w2 = weight_[2], *w3 = weight_[3];
    for (int j = 0; j * D < count; ++j) {
        const std::complex<float>* p = gf + j;
        const float r0 = p[0].real(), r1 = p[1].real(), r2 = p[2].real(), r3 = p[3].real();
        const float i0 = p[0].imag(), i1 = p[1].imag(), i2 = p[2].imag(), i3 = p[3].imag();
        const int width = count - j * D < D ? count - j * D : D;
        auto body = [](const float* __restrict w0, const float* __restrict w1, const float* __restrict w2,
                       const float* __restrict w3, float r0, float r1, float r2, float r3, int width,
                       float* __restrict out) GENSIGNAL_KERNEL_BODY {
            for (int r = 0; r < width; ++r) out[r] = ((w0[r] * r0 + w1[r] * r1) + w2[r] * r2) + w3[r] * r3;
        };
        runForKernels(body, w0, w1, w2, w3, r0, r1, r2, r3, width, re + j * D);
        runForKernels(body, w0, w1, w2, w3, i0, i1, i2, i3, width, im + j * D);
    }
}
