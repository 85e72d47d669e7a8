// Cubic Lagrange interpolation in Farrow form: output sample k sits at input
// position k * r, r = inRate / outRate, and mixes the four input samples
// around it; taps beyond either end of the input count as zero.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>

#include "farrow.h"
#include "farrowKernels.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "rangeChecks.h"
#include "sharedCores.h"

namespace {

// Below this many outputs a second thread costs more than it saves.
constexpr int kParallelMin = 1 << 14;

// A sample rate below 1/kMaxRateDivision of the locked rate would keep too
// little of the shaped signal to be the waveform asked for (an alias of
// it), from symbols or chips that far outnumber the samples.
constexpr int kMaxRateDivision = 1024;

}  // namespace

int farrowOutputLength(int n, double outRate, double inRate) {
    if (!finitePositive(outRate) || !finitePositive(inRate) || n < 0) return -1;
    if (n == 0) return 0;
    const double r = inRate / outRate;
    if (!(r > 0)) return -1;  // underflow: no output instant would ever pass the end
    // fl(k * r) never decreases as k grows, so the samples with
    // fl(k * r) >= n form a tail; n / r lands within a step or two of where
    // it starts, and the two walks below only cover that distance.
    const double estimate = std::ceil(n / r);
    if (!(estimate < 2.0 * kMaxSamples)) return -1;
    int64_t k = estimate < 1 ? 1 : static_cast<int64_t>(estimate);
    while (k > 1 && static_cast<double>(k - 1) * r >= n) --k;
    while (static_cast<double>(k) * r < n) ++k;
    return k < kMaxSamples ? static_cast<int>(k) : -1;
}

namespace {

// Outputs 1 ... K-1 shared among threads; each output depends only on its
// own k, so the split cannot change a bit. K is farrowOutputLength, whose
// count agrees with the loop's stop rule (k * r never decreases with k), so
// every base index stays below n.
template <class T>
void resampleAll(const T* x, int n, double r, int K, T* y) {
    y[0] = x[0];
#pragma omp parallel for schedule(static) num_threads(availableTeam()) if (K >= kParallelMin)
    for (int64_t block = 0; block < (K + 1023) / 1024; ++block) {
        const int64_t first = block == 0 ? 1 : block * 1024;
        const int64_t last = std::min<int64_t>(K, (block + 1) * 1024);
        farrowRange(x, 0, n, r, first, last, y + first);
    }
}

}  // namespace

void farrowResample(const std::complex<float>* x, int n, double r, int K, std::complex<float>* y) {
    resampleAll(x, n, r, K, y);
}

void farrowResample(const float* x, int n, double r, int K, float* y) { resampleAll(x, n, r, K, y); }

int resampledLength(int shapedLength, double sampleRate, double lockedRate, const char* lockedName, int& outputLength) {
    const int length = farrowOutputLength(shapedLength, sampleRate, lockedRate);
    if (length < 0)
        return refuse(-1, "sampleRate = %s: the resampled signal would reach 2^30 samples",
                      numberText(sampleRate).text);
    if (!(sampleRate * kMaxRateDivision >= lockedRate))
        return refuse(-1, "sampleRate = %s: must be at least 1/%d of the %s rate %s", numberText(sampleRate).text,
                      kMaxRateDivision, lockedName, numberText(lockedRate).text);
    outputLength = length;
    return 0;
}

void GenSignalClass::FarrowInterp(std::complex<float> const* in, int n, double outRate, double inRate,
                                  std::complex<float>* out, int* outLen) {
    if (!outLen) return;
    // Rates that would run the loop forever or past any array are refused
    // with length 0, as is missing input or output.
    const int K = farrowOutputLength(n, outRate, inRate);
    if (K <= 0 || !in || !out) {
        *outLen = 0;
        return;
    }
    farrowResample(in, n, inRate / outRate, K, out);
    *outLen = K;
}

void GenSignalClass::FarrowInterp_real(float* in, int n, double outRate, double inRate, float** out, int* outLen) {
    if (!outLen) return;
    const int K = farrowOutputLength(n, outRate, inRate);
    if (K <= 0 || !in || !out) {
        *outLen = 0;
        return;
    }
    auto* y = static_cast<float*>(std::malloc(sizeof(float) * static_cast<size_t>(K)));
    if (!y) {
        *outLen = 0;
        return;
    }
    farrowResample(static_cast<const float*>(in), n, inRate / outRate, K, y);
    *outLen = K;
    *out = y;
}
