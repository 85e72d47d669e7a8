// Whether a buffer loops without a glitch, judged by what the signal itself
// predicts. A linear predictor of order p = n/16 (1 ... 12) is fitted by
// least squares on the buffer (not across its seam), forward and, on the
// buffer reversed, backward. At each boundary between x[b-1] and x[b]
// (cyclically) the forward error of x[b] and the backward error of x[b-1]
// say where the two sides' own continuations meet: the boundary's error is
// the squared distance from 0 to the segment between eB and -eF, zero
// wherever the two sides join with a change of slope or frequency anywhere
// between the samples (as a sweep's return or a phase-continuous FSK's does),
// the jump where their values do not meet.
//
//   S  the mean error over the W = min(32, n/4) boundaries centred on the seam
//   L  the mean over the W boundaries on either side of those
//   M  the largest mean over W consecutive boundaries inside
//
// The ratio is sqrt(S / max(L, min(S, M) / 2)): near 1 for a seamless loop,
// noise included; at most sqrt(2) when the buffer holds an event as large as
// the seam (a pulse's edge); far above 1 for a seam the signal does not
// predict. Serial, in double: the same bits at any thread count.
#pragma once

#include <cstdint>

#include "sampleView.h"

// The shortest buffer the ratio is given for.
constexpr int64_t kSeamShortest = 32;

// The ratio; NaN for a silent buffer or one shorter than kSeamShortest.
template <class Reader>
double seamPredictionRatio(const Reader& x, int64_t n);

extern template double seamPredictionRatio(const Ci16Reader&, int64_t);
extern template double seamPredictionRatio(const Cf32Reader&, int64_t);
