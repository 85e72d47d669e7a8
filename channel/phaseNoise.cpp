#include "phaseNoise.h"

#include <cmath>

#include "blockPasses.h"
#include "channelStages.h"
#include "counterRandom.h"
#include "mathConstants.h"

namespace {

constexpr int64_t kFineBits = 12;
constexpr int64_t kFine = int64_t(1) << kFineBits;

}  // namespace

int PhaseNoise::plan(const GenSignalChannel& c, int64_t n, double sampleRate, std::complex<float>* work, int team) {
    points_ = c.phaseNoisePoints;
    for (int i = 0; i < points_; ++i) {
        offset_[i] = c.phaseNoiseOffsetHz[i];
        level_[i] = c.phaseNoiseDbcHz[i];
        logOffset_[i] = std::log10(offset_[i]);
    }
    n_ = n;
    sampleRate_ = sampleRate;
    binWidth_ = sampleRate / static_cast<double>(n);
    if (points_ > 0) {
        lowAmplitude_ = amplitudeAt(level_[0]);
        highAmplitude_ = amplitudeAt(level_[points_ - 1]);
    }
    team_ = team;
    packed_ = n % 2 == 0;
    const int64_t size = packed_ ? n / 2 : n;
    if (packed_) {
        fine_ = Buffer<std::complex<double>>(static_cast<size_t>(kFine));
        coarse_ = Buffer<std::complex<double>>(static_cast<size_t>(size / kFine + 1));
        if (!fine_ || !coarse_) return outOfMemory<std::complex<double>>(-3, size / kFine + 1, "phase twiddles");
        auto unit = [&](int64_t v) {
            double s, co;
            ::sincos(kTwoPi * static_cast<double>(v) / static_cast<double>(n), &s, &co);
            return std::complex<double>(co, s);
        };
        for (int64_t b = 0; b < kFine; ++b) fine_[static_cast<size_t>(b)] = unit(b);
        for (int64_t a = 0; a <= size / kFine; ++a) coarse_[static_cast<size_t>(a)] = unit(a * kFine);
    }
    return size > 0 ? dft_.plan(size, DftDirection::backward, work, team) : 0;
}

double PhaseNoise::maskDbc(double f) const {
    if (f <= offset_[0]) return level_[0];
    if (f >= offset_[points_ - 1]) return level_[points_ - 1];
    int i = 0;
    while (i + 2 < points_ && f >= offset_[i + 1]) ++i;
    const double x = (std::log10(f) - logOffset_[i]) / (logOffset_[i + 1] - logOffset_[i]);
    return level_[i] + (level_[i + 1] - level_[i]) * x;
}

// sqrt(10^(L/10) fs/n): a line at +-k then holds S fs/n; the real line at
// fs/2 holds half of that, its bin lying half below fs/2.
// Outside the mask's points the level holds: those amplitudes are made once.
double PhaseNoise::lineAmplitude(int64_t k) const {
    const double f = static_cast<double>(k) * binWidth_;
    if (f <= offset_[0]) return lowAmplitude_;
    if (f >= offset_[points_ - 1]) return highAmplitude_;
    return amplitudeAt(maskDbc(f));
}

double PhaseNoise::amplitudeAt(double dbc) const { return std::sqrt(std::pow(10.0, dbc / 10) * binWidth_); }

// X[k] for 0 <= k <= n/2 from the phase word w: 0 at DC, a real line at fs/2.
std::complex<double> PhaseNoise::line(int64_t k, uint32_t w) const {
    if (k == 0) return 0;
    const float angle = static_cast<float>(kTwoPi * unitFrom32(w));
    const double a = lineAmplitude(k);
    if (2 * k == n_) return std::cos(angle) < 0 ? -a : a;
    float s, c;
    ::sincosf(angle, &s, &c);
    return {a * c, a * s};
}

// The lines X[k] for k in [first, first + count) (count at most kLineRun),
// their phase words from one pass of counter blocks (word k mod 4 of block k / 4).
void PhaseNoise::lines(uint64_t seed, int64_t first, int count, std::complex<double>* out) const {
    CounterBlock blocks[kLineRun / 4 + 2];
    const int64_t b0 = first / 4, b1 = (first + count - 1) / 4;
    counterBlocks(seed, kStagePhaseNoise, 0, static_cast<uint64_t>(b0), static_cast<int>(b1 - b0 + 1), blocks);
    for (int j = 0; j < count; ++j) {
        const int64_t k = first + j;
        out[j] = line(k, blocks[k / 4 - b0].w[k % 4]);
    }
}

double PhaseNoise::synthesise(uint64_t seed, std::complex<float>* work, double* partial) const {
    const int64_t n = n_;
    auto put = [&](int64_t k, std::complex<double> v) {
        work[dft_.binSlot(k)] = {static_cast<float>(v.real()), static_cast<float>(v.imag())};
    };
    if (packed_) {
        // Z[q] = E[q] + i O[q], E[q] = X[q] + X[q + M], O[q] = (X[q] - X[q + M]) W^q,
        // with X[q + M] = conj(X[M - q]) and W = e^(2 pi i / n); q and M - q together.
        const int64_t M = n / 2;
        auto twiddle = [&](int64_t q) {
            return coarse_[static_cast<size_t>(q >> kFineBits)] * fine_[static_cast<size_t>(q & (kFine - 1))];
        };
        auto packed = [&](std::complex<double> xq, std::complex<double> xp, int64_t q) {
            const double ar = xq.real() + xp.real(), ai = xq.imag() - xp.imag();
            const double br = xq.real() - xp.real(), bi = xq.imag() + xp.imag();
            const std::complex<double> w = twiddle(q);
            const double cr = br * w.real() - bi * w.imag(), ci = br * w.imag() + bi * w.real();
            return std::complex<double>(ar - ci, ai + cr);
        };
        forEachBlock(M / 2 + 1, team_, [&](int64_t first, int64_t last, int64_t) {
            std::complex<double> low[kLineRun], high[kLineRun];
            for (int64_t q0 = first; q0 < last; q0 += kLineRun) {
                const int count = static_cast<int>(last - q0 < kLineRun ? last - q0 : kLineRun);
                lines(seed, q0, count, low);
                lines(seed, M - q0 - count + 1, count, high);  // high[count - 1 - j] = X[M - q0 - j]
                for (int j = 0; j < count; ++j) {
                    const int64_t q = q0 + j, p = M - q;
                    const std::complex<double> xq = low[j], xp = high[count - 1 - j];
                    put(q, packed(xq, xp, q));
                    if (p != q && p < M) put(p, packed(xp, xq, p));
                }
            }
        });
    } else {
        forEachBlock(n / 2 + 1, team_, [&](int64_t first, int64_t last, int64_t) {
            std::complex<double> run[kLineRun];
            for (int64_t k0 = first; k0 < last; k0 += kLineRun) {
                const int count = static_cast<int>(last - k0 < kLineRun ? last - k0 : kLineRun);
                lines(seed, k0, count, run);
                for (int j = 0; j < count; ++j) {
                    const int64_t k = k0 + j;
                    put(k, run[j]);
                    if (k > 0) put(n - k, std::conj(run[j]));
                }
            }
        });
    }
    dft_.execute(work);
    float* phase = reinterpret_cast<float*>(work);
    if (!packed_)  // the real parts, moved down in order
        for (int64_t j = 0; j < n; ++j) phase[j] = work[j].real();
    forEachBlock(n, team_, [&](int64_t first, int64_t last, int64_t b) {
        double s = 0;
        for (int64_t j = first; j < last; ++j) s += static_cast<double>(phase[j]) * phase[j];
        partial[b] = s;
    });
    return sumInOrder(partial, passBlocks(n)) / static_cast<double>(n);
}
