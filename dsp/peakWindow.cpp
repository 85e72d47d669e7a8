#include "peakWindow.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "buffer.h"
#include "crestFactor.h"
#include "lastError.h"
#include "mathConstants.h"
#include "sharedCores.h"

namespace {

// The dip's shape: 1 at the peak, falling to 0 just beyond halfWidth.
std::vector<double> dipShape(int64_t halfWidth) {
    std::vector<double> w(static_cast<size_t>(halfWidth + 1));
    for (int64_t m = 0; m <= halfWidth; ++m)
        w[static_cast<size_t>(m)] =
            0.5 * (1 + std::cos(kPi * static_cast<double>(m) / static_cast<double>(halfWidth + 1)));
    return w;
}

// depth[j] = the deepest dip at j over every sample above `limit`. A maximum
// does not depend on the order the peaks come in: one thread walks them.
void dips(const std::complex<double>* x, int64_t n, double limit, const std::vector<double>& w, double* depth) {
    const int64_t L = static_cast<int64_t>(w.size()) - 1;
    const double below = limit * limit * (1 - 1e-9);  // no hypot for the many below
    for (int64_t i = 0; i < n; ++i) {
        const double re = x[i].real(), im = x[i].imag();
        if (re * re + im * im < below) continue;
        const double m = std::hypot(re, im);
        if (!(m > limit)) continue;
        const double d = 1 - limit / m;
        for (int64_t k = -L; k <= L; ++k) {
            int64_t j = (i + k) % n;
            if (j < 0) j += n;
            depth[j] = std::max(depth[j], d * w[static_cast<size_t>(k < 0 ? -k : k)]);
        }
    }
}

}  // namespace

int peakWindow(std::complex<double>* x, int64_t n, const PeakWindowRequest& request, PeakWindowResult& result) {
    result = PeakWindowResult();
    if (int rc = rankPaprAtDb(x, n, request.probability, result.paprDb)) return rc;
    if (!(result.paprDb > request.targetPaprDb) || n < 1) return 0;
    Buffer<double> depth(static_cast<size_t>(n));
    if (!depth) return outOfMemory<double>(-3, static_cast<size_t>(n), "peak windowing's dips");
    const std::vector<double> w = dipShape(std::clamp<int64_t>(request.halfWidth, 1, std::max<int64_t>(1, n / 2)));
    double levelDb = request.targetPaprDb;
    for (int round = 0; round < request.iterations; ++round) {
        std::fill(depth.get(), depth.get() + n, 0.0);
        dips(x, n, std::sqrt(meanPower(x, n) * std::pow(10.0, levelDb / 10.0)), w, depth.get());
#pragma omp parallel for schedule(static) num_threads(availableTeam())
        for (int64_t i = 0; i < n; ++i) x[i] *= 1 - depth[i];
        result.iterations = round + 1;
        if (int rc = rankPaprAtDb(x, n, request.probability, result.paprDb)) return rc;
        if (!(result.paprDb > request.targetPaprDb)) break;
        levelDb -= result.paprDb - request.targetPaprDb;
    }
    return 0;
}
