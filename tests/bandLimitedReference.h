// The ideal periodic band-limited resampling, by a plain DFT: the harmonics
// of one input period below a cut-off, evaluated at the output instants; and
// the error of a resampled loop against it, in the band below a fraction of
// the lower Nyquist frequency, after the best complex gain. Aliases of
// content above the output's Nyquist frequency land on the harmonics of the
// band, so they count.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace testing_support {

using cd = std::complex<double>;

// e^(2 pi i r / n) for r < n.
inline std::vector<cd> unitRoots(int64_t n) {
    std::vector<cd> w(static_cast<size_t>(n));
    for (int64_t r = 0; r < n; ++r) w[r] = std::polar(1.0, 6.283185307179586 * static_cast<double>(r) / n);
    return w;
}

// Harmonics j of one period x[0 ... L), X_j = (1/L) sum x[n] e^(-2 pi i j n / L),
// for |j| < L * cycles (cycles per input sample).
struct Harmonics {
    std::vector<int64_t> index;
    std::vector<cd> value;
};

template <class Sample>
Harmonics harmonicsBelow(const std::vector<Sample>& x, double cycles) {
    const int64_t L = static_cast<int64_t>(x.size());
    const std::vector<cd> w = unitRoots(L);
    Harmonics h;
    for (int64_t j = -L / 2; j <= L / 2; ++j) {
        if (!(std::fabs(static_cast<double>(j)) < cycles * static_cast<double>(L))) continue;
        cd sum = 0;
        const int64_t jr = ((j % L) + L) % L;
        for (int64_t n = 0; n < L; ++n) sum += cd(x[n]) * std::conj(w[(jr * n) % L]);
        h.index.push_back(j);
        h.value.push_back(sum / static_cast<double>(L));
    }
    return h;
}

// Output m of M sits at input position m * p / q; harmonic j there turns
// e^(2 pi i j m p / (q L)). Projects y onto the harmonics |j| < L * compared
// and returns the error power relative to the reference's, in dB, after the
// best complex gain.
template <class Sample>
double bandErrorDb(const std::vector<Sample>& y, const Harmonics& ref, int64_t L, int64_t p, int64_t q,
                   double compared) {
    const int64_t M = static_cast<int64_t>(y.size());
    const int64_t period = q * L;  // the angle's denominator
    const std::vector<cd> w = unitRoots(period);
    std::vector<cd> got, want;
    for (size_t k = 0; k < ref.index.size(); ++k) {
        const int64_t j = ref.index[k];
        if (!(std::fabs(static_cast<double>(j)) < compared * static_cast<double>(L))) continue;
        const int64_t step = ((j * p) % period + period) % period;
        cd sum = 0;
        int64_t angle = 0;
        for (int64_t m = 0; m < M; ++m, angle = (angle + step) % period) sum += cd(y[m]) * std::conj(w[angle]);
        got.push_back(sum / static_cast<double>(M));
        want.push_back(ref.value[k]);
    }
    cd cross = 0;
    double power = 0;
    for (size_t k = 0; k < got.size(); ++k) {
        cross += got[k] * std::conj(want[k]);
        power += std::norm(want[k]);
    }
    const cd gain = cross / power;
    double error = 0;
    for (size_t k = 0; k < got.size(); ++k) error += std::norm(got[k] - gain * want[k]);
    return 10 * std::log10(error / power);
}

}  // namespace testing_support
