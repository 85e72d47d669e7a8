// Error vector magnitude against a record's own symbols: no synchronisation
// to guess, only the receive filter that fits the pulse and one best
// complex gain (one per subcarrier for OFDM).
#pragma once

#include <cstdint>

#include "recordReference.h"
#include "sampleView.h"

struct EvmResult {
    double percent;      // 100 sqrt(sum |g y - s|^2 / sum |s|^2)
    double peakPercent;  // 100 max |g y - s| / sqrt(mean |s|^2)
    double merDb;        // 10 log10(sum |s|^2 / sum |g y - s|^2)
    int64_t symbols;     // compared values
};

// Where the compared values go, for pictures: g y and s as I, Q pairs, at
// most `capacity` of each; either array may be null.
struct EvmPoints {
    double* received = nullptr;
    double* references = nullptr;
    int64_t capacity = 0;
};

// Longest matched filter applied tap by tap at the symbol instants; longer
// ones go through the transform of the whole period.
constexpr int kDirectMatchedTaps = 512;

// 0, or -1 with the reason when working memory cannot be had. The buffer
// holds ref.length samples.
template <class Reader>
int measureLinearEvm(const Reader& x, const LinearReference& ref, EvmResult& out, const EvmPoints& points,
                     int directTaps = kDirectMatchedTaps);
template <class Reader>
int measureOfdmEvm(const Reader& x, const OfdmReference& ref, EvmResult& out, const EvmPoints& points);

// EVM against whichever reference the record made: OFDM's, or the linear
// one, a resampled buffer (ref.linear.bufferSamples != ref.linear.length)
// being sampled again at the symbol-locked rate first, band-limited.
template <class Reader>
int measureRecordEvm(const Reader& x, const RecordReference& ref, EvmResult& out, const EvmPoints& points);

extern template int measureRecordEvm(const Ci16Reader&, const RecordReference&, EvmResult&, const EvmPoints&);
extern template int measureRecordEvm(const Cf32Reader&, const RecordReference&, EvmResult&, const EvmPoints&);
extern template int measureLinearEvm(const Ci16Reader&, const LinearReference&, EvmResult&, const EvmPoints&, int);
extern template int measureLinearEvm(const Cf32Reader&, const LinearReference&, EvmResult&, const EvmPoints&, int);
extern template int measureOfdmEvm(const Ci16Reader&, const OfdmReference&, EvmResult&, const EvmPoints&);
extern template int measureOfdmEvm(const Cf32Reader&, const OfdmReference&, EvmResult&, const EvmPoints&);
