#include "seamPrediction.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

namespace {

using cd = std::complex<double>;

constexpr int kMaxOrder = 12;
constexpr int64_t kMaxWindow = 32;

// The buffer read forward or backward, with indices taken cyclically.
template <class Reader>
struct Cyclic {
    const Reader& x;
    int64_t n;
    bool reversed;
    cd operator()(int64_t i) const {
        i %= n;
        if (i < 0) i += n;
        const int64_t j = reversed ? n - 1 - i : i;
        return {x.re(j), x.im(j)};
    }
};

// The same values for indices in [0, n), which need no cyclic index: the
// predictors' fits and every boundary clear of the ends read through it
// (an integer division per read cost a third of the measurement).
template <class Reader>
struct Straight {
    const Reader& x;
    int64_t n;
    bool reversed;
    cd operator()(int64_t i) const {
        const int64_t j = reversed ? n - 1 - i : i;
        return {x.re(j), x.im(j)};
    }
};

// Solves (R + loading I) h = r for the p x p Hermitian R by Cholesky; the
// small loading keeps a rank-deficient R (a few pure tones) solvable.
void solveHermitian(cd (*R)[kMaxOrder], const cd* r, int p, cd* h) {
    double trace = 0;
    for (int i = 0; i < p; ++i) trace += R[i][i].real();
    const double loading = 1e-12 * trace / p + std::numeric_limits<double>::min();
    cd L[kMaxOrder][kMaxOrder] = {};
    for (int i = 0; i < p; ++i) {
        for (int k = 0; k <= i; ++k) {
            cd s = R[i][k] + (i == k ? cd(loading, 0) : cd(0, 0));
            for (int m = 0; m < k; ++m) s -= L[i][m] * std::conj(L[k][m]);
            if (i == k)
                L[i][i] = std::sqrt(std::max(s.real(), loading));
            else
                L[i][k] = s / L[k][k].real();
        }
    }
    cd y[kMaxOrder];
    for (int i = 0; i < p; ++i) {
        cd s = r[i];
        for (int m = 0; m < i; ++m) s -= L[i][m] * y[m];
        y[i] = s / L[i][i].real();
    }
    for (int i = p - 1; i >= 0; --i) {
        cd s = y[i];
        for (int m = i + 1; m < p; ++m) s -= std::conj(L[m][i]) * h[m];
        h[i] = s / L[i][i].real();
    }
}

// The least-squares predictor of x[t] from x[t-1] ... x[t-p], t = p ... n-1.
// The normal equations' first row is summed, the rest follows from it by
// moving the sum's ends (the matrix is Toeplitz but for its edges).
template <class Read>
void fitPredictor(const Read& at, int64_t n, int p, cd* h) {
    cd R[kMaxOrder][kMaxOrder] = {}, r[kMaxOrder] = {};
    for (int64_t t = p; t < n; ++t) {
        const cd last = std::conj(at(t - 1));
        for (int k = 0; k < p; ++k) R[0][k] += last * at(t - 1 - k);
        for (int i = 0; i < p; ++i) r[i] += std::conj(at(t - 1 - i)) * at(t);
    }
    for (int i = 0; i + 1 < p; ++i)
        for (int k = i; k + 1 < p; ++k)
            R[i + 1][k + 1] =
                R[i][k] + std::conj(at(p - 2 - i)) * at(p - 2 - k) - std::conj(at(n - 2 - i)) * at(n - 2 - k);
    for (int i = 0; i < p; ++i)
        for (int k = 0; k < i; ++k) R[i][k] = std::conj(R[k][i]);
    solveHermitian(R, r, p, h);
}

// Squared distance from 0 to the segment [a, b].
double segmentDistance(cd a, cd b) {
    const cd d = b - a;
    const double dd = std::norm(d);
    const double s = dd > 0 ? std::clamp(-(std::conj(a) * d).real() / dd, 0.0, 1.0) : 0.0;
    return std::norm(a + s * d);
}

struct Predictors {
    int p;
    cd forward[kMaxOrder], backward[kMaxOrder];
};

// The error of boundary b, between x[b-1] and x[b].
template <class Read>
double boundaryError(const Read& at, const Predictors& f, int64_t b) {
    cd eF = at(b), eB = at(b - 1);
    for (int i = 0; i < f.p; ++i) {
        eF -= f.forward[i] * at(b - 1 - i);
        eB -= f.backward[i] * at(b + i);
    }
    return segmentDistance(eB, -eF);
}

}  // namespace

template <class Reader>
double seamPredictionRatio(const Reader& x, int64_t n) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    if (n < kSeamShortest) return none;
    double power = 0;
    for (int64_t i = 0; i < n; ++i) power += x.re(i) * x.re(i) + x.im(i) * x.im(i);
    if (!(power > 0)) return none;

    Predictors f{static_cast<int>(std::clamp<int64_t>(n / 16, 1, kMaxOrder)), {}, {}};
    const Cyclic<Reader> at{x, n, false};
    const Straight<Reader> straight{x, n, false};
    // The fits read x[0] ... x[n-1] only.
    fitPredictor(straight, n, f.p, f.forward);
    fitPredictor(Straight<Reader>{x, n, true}, n, f.p, f.backward);
    // Boundary b reads x[b - p] ... x[b + p - 1].
    const auto error = [&](int64_t b) {
        return b >= f.p && b + f.p <= n ? boundaryError(straight, f, b) : boundaryError(at, f, b);
    };

    const int64_t W = std::min(kMaxWindow, n / 4), h = W / 2;
    const auto mean = [&](int64_t first) {
        double s = 0;
        for (int64_t b = first; b < first + W; ++b) s += boundaryError(at, f, b);
        return s / static_cast<double>(W);
    };
    const double S = mean(-h);
    const double L = (mean(-h - W) + mean(W - h)) / 2;
    // Windows [s, s + W) clear of the seam's, summed afresh from a ring of
    // the last W errors (no running difference to drift).
    double ring[kMaxWindow];
    double M = 0;
    for (int64_t b = W - h; b < n - h; ++b) {
        ring[(b - (W - h)) % W] = error(b);
        if (b - (W - h) + 1 < W) continue;
        double s = 0;
        for (int64_t k = 0; k < W; ++k) s += ring[k];
        M = std::max(M, s / static_cast<double>(W));
    }
    // A floor far below any rounding of the buffer's power keeps a buffer
    // predicted exactly inside (a pure tone in floats) finite at its seam.
    const double floor = 1e-30 * power / static_cast<double>(n) + std::numeric_limits<double>::min();
    const double ratio = std::sqrt(S / std::max({L, std::min(S, M) / 2, floor}));
    return std::isfinite(ratio) ? ratio : std::numeric_limits<double>::max();
}

template double seamPredictionRatio(const Ci16Reader&, int64_t);
template double seamPredictionRatio(const Cf32Reader&, int64_t);
