// A scene's spectrum read band by band: one unscaled DFT of the whole loop
// (bin k at k rate / n, the upper half at negative frequencies), the bins
// of a band in Hz, their power, what a change of the buffer cost inside a
// band (EVM after the best complex gain) and the adjacent-channel ratio of
// a band.
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"
#include "fourierTransform.h"

struct SceneBand {
    double lower, upper;  // Hz
};

class SceneSpectrum {
public:
    // 0, or -3 with the reason. `dft` is planned on the first take of its
    // size and reused by the others: one plan for all of a scene's spectra.
    int take(const std::complex<double>* x, int64_t n, double rate, Dft<double>& dft);
    int take(const std::complex<float>* x, int64_t n, double rate, Dft<double>& dft);

    // The frequency of bin k.
    double binHz(int64_t k) const;
    bool inside(int64_t k, const SceneBand& band) const;
    // Mean power of the buffer inside the band (Parseval: sum |X|^2 / n^2).
    double bandPower(const SceneBand& band) const;
    const std::complex<double>* bins() const { return bins_.get(); }
    std::complex<double>* bins() { return bins_.get(); }
    // A copy of another spectrum: 0, or -3 with the reason.
    int copy(const SceneSpectrum& other);
    int64_t size() const { return n_; }
    double rate() const { return rate_; }

private:
    int transform(Dft<double>& dft);
    Buffer<std::complex<double>> bins_;
    int64_t n_ = 0;
    double rate_ = 0;
};

// sqrt(sum |after - g before|^2 / sum |g before|^2) over the band, g the
// complex gain that makes it least, in percent; 0 for an empty band.
double evmCostPercent(const SceneSpectrum& before, const SceneSpectrum& after, const SceneBand& band);

// Power of the channel as wide as `band`, `spacing` Hz below (side -1) or
// above (+1) its centre, over the band's power, dB; NaN beyond +-rate/2.
double adjacentRatioDb(const SceneSpectrum& s, const SceneBand& band, double spacing, int side, double rate);
