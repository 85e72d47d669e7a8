#include "periodicInterpolation.h"

#include <algorithm>

#include "fourierTransform.h"
#include "frequencyDomain.h"
#include "lastError.h"

using cd = std::complex<double>;

template <class Reader>
int resamplePeriodic(const Reader& x, int64_t n, int64_t m, Buffer<cd>& out) {
    Buffer<cd> X(static_cast<size_t>(n));
    out = Buffer<cd>(static_cast<size_t>(m), true);
    if (!X || !out) return outOfMemory<cd>(-1, static_cast<size_t>(n + m), "resampled symbol instants");
    if (probeTransformMemory(std::max(n, m), sizeof(cd), "resampling")) return -1;
    Dft<double> forward, backward;
    if (!forward.plan(static_cast<int>(n), X.get(), X.get(), DftDirection::forward) ||
        !backward.plan(static_cast<int>(m), out.get(), out.get(), DftDirection::backward))
        return refuse(-1, "no transforms of %lld and %lld points could be planned", static_cast<long long>(n),
                      static_cast<long long>(m));
    for (int64_t i = 0; i < n; ++i) X[i] = {x.re(i), x.im(i)};
    forward.execute(X.get(), X.get());
    const int64_t low = std::min(n, m), half = low / 2;
    const double scale = 1.0 / static_cast<double>(n);
    // Bins -half < k < half in both; k = +-half, when low is even, is the
    // lower rate's Nyquist bin: split in two going up, folded going down.
    for (int64_t k = 0; k < (low + 1) / 2; ++k) out[k] = X[k] * scale;
    for (int64_t k = 1; k < (low + 1) / 2; ++k) out[m - k] = X[n - k] * scale;
    if (low % 2 == 0 && half > 0) {
        if (n < m) {
            out[half] = X[half] * (scale / 2);
            out[m - half] = X[half] * (scale / 2);
        } else if (n > m) {
            out[half] = (X[half] + X[n - half]) * scale;
        } else {
            out[half] = X[half] * scale;
        }
    }
    backward.execute(out.get(), out.get());
    return 0;
}

template int resamplePeriodic(const Ci16Reader&, int64_t, int64_t, Buffer<cd>&);
template int resamplePeriodic(const Cf32Reader&, int64_t, int64_t, Buffer<cd>&);
