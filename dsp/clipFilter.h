// Crest-factor reduction by clipping and filtering on the loop's DFT: each
// round clips the samples above a level, takes the transform of what the
// clipping removed, keeps only the bins the caller allows (the parts'
// bands) and subtracts that from the buffer. The transform is circular, so
// the loop stays a loop, and no bin outside the allowed ones changes. The
// clipping level starts at the target and comes down by what the last
// round missed it by; the rounds stop once the target is reached.
#pragma once

#include <complex>
#include <cstdint>

struct ClipFilterRequest {
    double targetPaprDb = 0;
    double probability = 1e-4;
    int iterations = 8;
};

struct ClipFilterResult {
    int iterations = 0;  // rounds run
    double paprDb = 0;   // at the request's probability, after
};

// x[0, n) in place; keep[s] != 0 for the bins that may change, each at its
// slot s in a forward split transform of n points (splitDft.h: the slots
// depend on n alone). `bins`, when given, holds x's unscaled DFT at the
// same slots and is kept so: each round's change is subtracted from it, which spares
// the caller a transform of the result. 0, or -3 with the reason when the
// working memory or the transforms cannot be had: x is then as it was, or
// after a round when a later round's ranking fails; never a result that
// stopped short and says it is done.
int clipAndFilter(std::complex<double>* x, int64_t n, const unsigned char* keep, const ClipFilterRequest& request,
                  ClipFilterResult& result, std::complex<float>* bins = nullptr);
