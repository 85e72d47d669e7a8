// The spectrum of a whole buffer: one DFT with no window (the buffer loops,
// so one period has no leakage), the bins in frequency order, m = 0 ... n-1
// at (m - floor(n/2)) * rate / n. From it the occupied band, the channel
// powers and the spurious-free dynamic range.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sampleView.h"

struct SpectrumRequest {
    double rate;              // samples per second
    double obwPercent;        // (0, 100]
    double channelBandwidth;  // Hz, > 0; 0: the narrowest channel centred at 0 that holds the occupied band
    double channelSpacing;    // Hz, > 0; 0: the channel bandwidth
};

// NaN wherever there is nothing to report.
struct Spectrum {
    double obwLower, obwUpper;  // Hz, outer borders of the edge bins
    double channelBandwidth, channelSpacing;
    double acprLower, acprUpper;  // dB
    double sfdr;                  // dB
};

// 0, or -1 with the reason when the transform's memory cannot be had.
template <class Reader>
int measureSpectrum(const Reader& x, int64_t n, const SpectrumRequest& request, Spectrum& out);

// Whether a transform of n points can be planned without FFTW running out
// of memory (which ends the process): FFTW's own working arrays, of points
// of pointBytes each, are tried for size first. 0, or -1 with the reason.
int probeTransformMemory(int64_t n, size_t pointBytes, const char* what);

extern template int measureSpectrum(const Ci16Reader&, int64_t, const SpectrumRequest&, Spectrum&);
extern template int measureSpectrum(const Cf32Reader&, int64_t, const SpectrumRequest&, Spectrum&);
