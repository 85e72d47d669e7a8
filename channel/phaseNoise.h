// Phase noise from a mask of single-sideband levels L(f) in dBc/Hz,
// synthesised on the buffer's DFT bins, so that the phase is periodic in the
// buffer by construction. The mask is linear in dB against log10(f), held
// below its first and above its last point; the phase's one-sided spectrum
// is S(f) = 2 10^(L(f)/10) rad^2/Hz. Each positive bin k < n/2 holds a line
// of power S(k fs/n) fs/n (half of it on each side) with a uniformly random
// phase, the bin at fs/2 (n even) a real line of half that; bin 0 is empty.
// The realised phase spectrum is the mask, and its variance 2 sum L fs/n,
// the integral over the offsets the buffer resolves (fs/n ... fs/2).
//
// For even n the real phase comes from a complex transform of n/2 points
// (even samples in the real part, odd ones in the imaginary part), whose
// output read as floats is the phase in order.
#pragma once

#include <complex>
#include <cstdint>

#include "splitDft.h"
#include "wrapperGenSignalWave.h"

class PhaseNoise {
public:
    // 0, or -3 with the reason; `work` (n complex floats) is only planned on.
    int plan(const GenSignalChannel& channel, int64_t n, double sampleRate, std::complex<float>* work, int team);

    // The phase in radians, phase[i] for i < n, in the floats of `work`
    // (n complex floats); returns the mean square phase.
    double synthesise(uint64_t seed, std::complex<float>* work, double* partial) const;

    // L(f) of the mask at f > 0, dBc/Hz.
    double maskDbc(double offsetHz) const;

private:
    double lineAmplitude(int64_t k) const;
    double amplitudeAt(double dbc) const;
    static constexpr int kLineRun = 256;
    std::complex<double> line(int64_t k, uint32_t phaseWord) const;
    void lines(uint64_t seed, int64_t first, int count, std::complex<double>* out) const;

    int points_ = 0;
    double offset_[GENSIGNAL_CHANNEL_MAX_MASK_POINTS] = {};
    double level_[GENSIGNAL_CHANNEL_MAX_MASK_POINTS] = {};
    double logOffset_[GENSIGNAL_CHANNEL_MAX_MASK_POINTS] = {};
    int64_t n_ = 0;
    double sampleRate_ = 0, binWidth_ = 0, lowAmplitude_ = 0, highAmplitude_ = 0;
    int team_ = 1;
    bool packed_ = false;  // even n: the n/2-point transform
    SplitDft<float> dft_;
    Buffer<std::complex<double>> fine_, coarse_;  // e^(2 pi i q / n) for the packing
};
