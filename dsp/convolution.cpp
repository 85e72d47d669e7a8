// Fully overlapped FIR filtering with the taps in stored order (no reversal),
// parallel over output samples. These are the literal routines: the
// generators shape and filter with their own kernels (polyphaseFilter.h,
// noiseFilter.h), which tests hold to the bits of these.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "genSignalClass.h"
#include "sharedCores.h"

namespace {

// Output length N - M + 1, or 0 when the window never fits. A tap count
// below 1 gives an empty output: the caller's array is only guaranteed room
// for N - M + 1 samples, which would be more than it was given.
int64_t fullOverlapLength(int n, int m) {
    if (m < 1) return 0;
    const int64_t len = static_cast<int64_t>(n) - m + 1;
    return len > 0 ? len : 0;
}

}  // namespace

void GenSignalClass::conv2_complex(std::complex<float> const* in, int n, float const* taps, int m,
                                   std::complex<float>* out, int* outLen) {
    const int64_t len = fullOverlapLength(n, m);
    *outLen = static_cast<int>(len);
    if (len == 0) return;
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t i = 0; i < len; ++i) {
        double re = 0.0, im = 0.0;
        for (int k = 0; k < m; ++k) {
            const double h = taps[k];
            re = std::fma(static_cast<double>(in[i + k].real()), h, re);
            im = std::fma(static_cast<double>(in[i + k].imag()), h, im);
        }
        out[i] = {static_cast<float>(re), static_cast<float>(im)};
    }
}

void GenSignalClass::conv2_real(float const* in, int n, float const* taps, int m, float** out, int* outLen) {
    const int64_t len = fullOverlapLength(n, m);
    if (len == 0) {
        *outLen = 0;
        return;
    }
    float* y = static_cast<float*>(std::malloc(sizeof(float) * static_cast<size_t>(len)));
    if (y == nullptr) {
        *outLen = 0;
        return;
    }
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t i = 0; i < len; ++i) {
        double acc = 0.0;
        for (int k = 0; k < m; ++k) acc += static_cast<double>(taps[k] * in[i + k]);
        y[i] = static_cast<float>(acc);
    }
    *outLen = static_cast<int>(len);
    *out = y;
}
