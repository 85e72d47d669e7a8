// Error vector magnitude against a record's own symbols: no synchronisation
// to guess, only the receive filter that fits the pulse and one best
// complex gain (one per subcarrier for OFDM).
#pragma once

#include <cstdint>

#include "evmReference.h"
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

// A capture whose modulation is described but whose symbols are unknown:
// sampled again at 8 samples per symbol (as one period, band-limited), the
// matched filter for RRC, the symbol phase of the most power, then each
// point decided to the alphabet's nearest under one complex gain fitted on
// the decisions. The description is checked by the caller.
struct DescribedModulation {
    int modType, filterType;
    double symbolRate, rolloff;
};
template <class Reader>
int measureDescribedEvm(const Reader& x, int64_t n, double rate, const DescribedModulation& d, EvmResult& out,
                        const EvmPoints& points);
extern template int measureDescribedEvm(const Ci16Reader&, int64_t, double, const DescribedModulation&, EvmResult&,
                                        const EvmPoints&);
extern template int measureDescribedEvm(const Cf32Reader&, int64_t, double, const DescribedModulation&, EvmResult&,
                                        const EvmPoints&);
// The alphabet of a kind a description may name (0: none), and its symmetry.
int describedAlphabet(int modType, int& symmetry);

extern template int measureRecordEvm(const Ci16Reader&, const RecordReference&, EvmResult&, const EvmPoints&);
extern template int measureRecordEvm(const Cf32Reader&, const RecordReference&, EvmResult&, const EvmPoints&);
extern template int measureLinearEvm(const Ci16Reader&, const LinearReference&, EvmResult&, const EvmPoints&, int);
extern template int measureLinearEvm(const Cf32Reader&, const LinearReference&, EvmResult&, const EvmPoints&, int);
extern template int measureOfdmEvm(const Ci16Reader&, const OfdmReference&, EvmResult&, const EvmPoints&);
extern template int measureOfdmEvm(const Cf32Reader&, const OfdmReference&, EvmResult&, const EvmPoints&);
