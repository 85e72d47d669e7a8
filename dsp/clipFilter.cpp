#include "clipFilter.h"

#include <cmath>

#include "buffer.h"
#include "crestFactor.h"
#include "hugePages.h"
#include "lastError.h"
#include "rangeChecks.h"
#include "sharedCores.h"
#include "splitDft.h"

namespace {

// What clipping at `limit` removes from x, in single precision: the error
// is a small fraction of the signal, so float's rounding stays far below
// the bands' own floor, and its transforms cost half the memory traffic.
void clippedPart(const std::complex<double>* x, int64_t n, double limit, std::complex<float>* e) {
    // Below the limit by more than any rounding of the squares: no hypot.
    const double below = limit * limit * (1 - 1e-9);
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t i = 0; i < n; ++i) {
        const double re = x[i].real(), im = x[i].imag();
        e[i] = std::complex<float>(0.0f, 0.0f);
        if (re * re + im * im < below) continue;
        const double m = std::hypot(re, im);
        if (!(m > limit)) continue;
        const std::complex<double> v = x[i] * ((m - limit) / m);
        e[i] = std::complex<float>(static_cast<float>(v.real()), static_cast<float>(v.imag()));
    }
}

}  // namespace

int clipAndFilter(std::complex<double>* x, int64_t n, const unsigned char* keep, const ClipFilterRequest& request,
                  ClipFilterResult& result, std::complex<float>* bins) {
    using cf = std::complex<float>;
    result = ClipFilterResult();
    if (int rc = rankPaprAtDb(x, n, request.probability, result.paprDb)) return rc;
    if (!(result.paprDb > request.targetPaprDb)) return 0;
    Buffer<cf> error(static_cast<size_t>(n));
    if (!error) return outOfMemory<cf>(-3, static_cast<size_t>(n), "clipping error");
    preferHugePages(error.get(), Buffer<cf>::bytesFor(static_cast<size_t>(n)));
    // Both ways through one split plan: each small transform in cache and on every thread of the team.
    SplitDft<float> dft;
    if (dft.plan(n, DftDirection::forward, error.get(), availableTeam(), true))
        return refuse(-3, "the crest-factor reduction's transform of %lld points cannot be planned",
                      static_cast<long long>(n));
    const float inverseN = static_cast<float>(1.0 / static_cast<double>(n));
    double levelDb = request.targetPaprDb;
    cf* e = error.get();
    for (int round = 0; round < request.iterations; ++round) {
        clippedPart(x, n, std::sqrt(meanPower(x, n) * std::pow(10.0, levelDb / 10.0)), e);
        dft.execute(e);
#pragma omp parallel for schedule(static) num_threads(availableTeam())
        for (int64_t s = 0; s < n; ++s) {
            if (!keep[s]) {
                e[s] = cf(0, 0);
                continue;
            }
            // The change's own DFT is e[s]: its inverse below is scaled by 1/n.
            if (bins) bins[s] -= e[s];
            e[s] *= inverseN;
        }
        dft.inverse(e);
#pragma omp parallel for schedule(static) num_threads(availableTeam())
        for (int64_t i = 0; i < n; ++i) x[i] -= std::complex<double>(e[i].real(), e[i].imag());
        result.iterations = round + 1;
        if (int rc = rankPaprAtDb(x, n, request.probability, result.paprDb)) return rc;
        if (!(result.paprDb > request.targetPaprDb)) break;
        levelDb -= result.paprDb - request.targetPaprDb;
    }
    return 0;
}
