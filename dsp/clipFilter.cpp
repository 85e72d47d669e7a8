#include "clipFilter.h"

#include <cmath>

#include "buffer.h"
#include "crestFactor.h"
#include "fourierTransform.h"
#include "lastError.h"
#include "rangeChecks.h"

int clipAndFilter(std::complex<double>* x, int64_t n, const unsigned char* keep, const ClipFilterRequest& request,
                  ClipFilterResult& result) {
    using cd = std::complex<double>;
    result = ClipFilterResult();
    result.paprDb = paprAtDb(x, n, request.probability);
    if (!(result.paprDb > request.targetPaprDb)) return 0;
    Buffer<cd> error(static_cast<size_t>(n));
    if (!error) return outOfMemory<cd>(-3, static_cast<size_t>(n), "clipping error");
    Dft<double> forward, backward;
    if (!forward.plan(static_cast<int>(n), error.get(), error.get(), DftDirection::forward) ||
        !backward.plan(static_cast<int>(n), error.get(), error.get(), DftDirection::backward))
        return refuse(-3, "the crest-factor reduction's transforms of %lld points cannot be planned",
                      static_cast<long long>(n));
    const double inverseN = 1.0 / static_cast<double>(n);
    double levelDb = request.targetPaprDb;
    cd* e = error.get();
    for (int round = 0; round < request.iterations; ++round) {
        const double limit = std::sqrt(meanPower(x, n) * std::pow(10.0, levelDb / 10.0));
#pragma omp parallel for schedule(static)
        for (int64_t i = 0; i < n; ++i) {
            const double m = std::hypot(x[i].real(), x[i].imag());
            e[i] = m > limit ? x[i] * ((m - limit) / m) : cd(0, 0);
        }
        forward.execute(e, e);
#pragma omp parallel for schedule(static)
        for (int64_t k = 0; k < n; ++k) e[k] = keep[k] ? e[k] * inverseN : cd(0, 0);
        backward.execute(e, e);
#pragma omp parallel for schedule(static)
        for (int64_t i = 0; i < n; ++i) x[i] -= e[i];
        result.iterations = round + 1;
        result.paprDb = paprAtDb(x, n, request.probability);
        if (!(result.paprDb > request.targetPaprDb)) break;
        levelDb -= result.paprDb - request.targetPaprDb;
    }
    return 0;
}
