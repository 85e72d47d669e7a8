// Crest-factor reduction by peak windowing: every sample above a level is
// brought down to it by a raised-cosine dip of 2 halfWidth + 1 samples
// centred on it. Where dips overlap the deepest one holds (they are not
// multiplied), so each peak lands on the level and the gain stays smooth;
// the dips wrap around the loop's ends, so the loop stays a loop. Unlike
// clipping and filtering it works on the samples alone and its regrowth
// spreads over about rate / halfWidth around every band. The level starts
// at the target and comes down by what the last round missed it by.
#pragma once

#include <complex>
#include <cstdint>

struct PeakWindowRequest {
    double targetPaprDb = 0;
    double probability = 1e-4;
    int iterations = 8;
    int64_t halfWidth = 8;  // samples on either side of the peak, 1 ... n / 2
};

struct PeakWindowResult {
    int iterations = 0;  // rounds run
    double paprDb = 0;   // at the request's probability, after
};

// x[0, n) in place. 0, or -3 with the reason when the working memory cannot
// be had: x is then as it was, or after a round when a later round's
// ranking fails; never a result that stopped short and says it is done.
int peakWindow(std::complex<double>* x, int64_t n, const PeakWindowRequest& request, PeakWindowResult& result);
