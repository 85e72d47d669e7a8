#include "seamPrediction.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

namespace {

using cd = std::complex<double>;

constexpr int kMaxOrder = 12;
constexpr int64_t kMaxWindow = 32;

// The buffer read forward or backward. A cyclic read takes any index; a
// straight one only those in [0, n), and needs no integer division: the
// predictors' fits and every boundary clear of the ends read straight (the
// division cost a third of the measurement).
template <class Reader, bool cyclic>
struct Reading {
    const Reader& x;
    int64_t n;
    bool reversed;
    cd operator()(int64_t i) const {
        if constexpr (cyclic) {
            i %= n;
            if (i < 0) i += n;
        }
        const int64_t j = reversed ? n - 1 - i : i;
        return {x.re(j), x.im(j)};
    }
};
template <class Reader>
using Cyclic = Reading<Reader, true>;
template <class Reader>
using Straight = Reading<Reader, false>;

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

// Complex products written out: the same bits as std::complex's for the
// finite values measured here (the input check refuses others), without its
// infinity recovery, so that the loops below vectorise.
struct Product {
    double re, im;
};
inline Product times(double a, double b, double c, double d) { return {a * c - b * d, a * d + b * c}; }

// The least-squares predictor of x[t] from x[t-1] ... x[t-p], t = p ... n-1.
// The normal equations' first row is summed, the rest follows from it by
// moving the sum's ends (the matrix is Toeplitz but for its edges).
// P, when not 0, is p known at compile time (the loops then vectorise).
template <int P, class Read>
void fitPredictor(const Read& at, int64_t n, int order, cd* h) {
    const int p = P ? P : order;
    double rowRe[kMaxOrder] = {}, rowIm[kMaxOrder] = {}, rRe[kMaxOrder] = {}, rIm[kMaxOrder] = {};
    for (int64_t t = p; t < n; ++t) {
        const cd last = at(t - 1), now = at(t);
        for (int k = 0; k < p; ++k) {
            const cd x = at(t - 1 - k);
            const Product rk = times(last.real(), -last.imag(), x.real(), x.imag());
            rowRe[k] += rk.re;
            rowIm[k] += rk.im;
            const Product ri = times(x.real(), -x.imag(), now.real(), now.imag());
            rRe[k] += ri.re;
            rIm[k] += ri.im;
        }
    }
    cd R[kMaxOrder][kMaxOrder] = {}, r[kMaxOrder] = {};
    for (int k = 0; k < p; ++k) {
        R[0][k] = {rowRe[k], rowIm[k]};
        r[k] = {rRe[k], rIm[k]};
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
template <int P, class Read>
double boundaryError(const Read& at, const Predictors& f, int64_t b) {
    const int p = P ? P : f.p;
    const cd first = at(b), second = at(b - 1);
    double fRe = first.real(), fIm = first.imag(), bRe = second.real(), bIm = second.imag();
    for (int i = 0; i < p; ++i) {
        const cd x = at(b - 1 - i), y = at(b + i);
        const Product pf = times(f.forward[i].real(), f.forward[i].imag(), x.real(), x.imag());
        const Product pb = times(f.backward[i].real(), f.backward[i].imag(), y.real(), y.imag());
        fRe -= pf.re;
        fIm -= pf.im;
        bRe -= pb.re;
        bIm -= pb.im;
    }
    return segmentDistance(cd(bRe, bIm), -cd(fRe, fIm));
}

// The largest mean over W consecutive boundary errors e(first) ... e(last - 1),
// each window's sum taken afresh in the order of a ring of the last W
// errors (slot j % W holds error j): no running difference to drift. The
// errors come a ring's turn at a time; four windows are summed side by side.
template <class Error>
double largestWindowMean(const Error& error, int64_t first, int64_t last, int64_t W) {
    double turn[2][kMaxWindow] = {};
    double M = 0;
    for (int64_t g = 0; g < last - first; g += W) {
        double* now = turn[(g / W) % 2];
        const double* before = turn[(g / W + 1) % 2];
        const int64_t filled = std::min(W, last - first - g);
        for (int64_t j = 0; j < filled; ++j) now[j] = error(first + g + j);
        // Window ending at slot e: slots up to e hold this turn's errors, the
        // rest the last turn's.
        for (int64_t e = g == 0 ? W - 1 : 0; e < filled; e += 4) {
            double s[4] = {};
            for (int64_t k = 0; k < W; ++k)
                for (int d = 0; d < 4; ++d) s[d] += k <= e + d ? now[k] : before[k];
            for (int d = 0; d < 4 && e + d < filled; ++d) M = std::max(M, s[d] / static_cast<double>(W));
        }
    }
    return M;
}

}  // namespace

namespace {

// The ratio for a finite buffer of the given power, its predictors of order
// p (P as for fitPredictor).
template <int P, class Reader>
double ratioOf(const Reader& x, int64_t n, double power, int p) {
    Predictors f{p, {}, {}};
    const Cyclic<Reader> at{x, n, false};
    const Straight<Reader> straight{x, n, false};
    // The fits read x[0] ... x[n-1] only.
    fitPredictor<P>(straight, n, f.p, f.forward);
    fitPredictor<P>(Straight<Reader>{x, n, true}, n, f.p, f.backward);
    // Boundary b reads x[b - p] ... x[b + p - 1].
    const auto error = [&](int64_t b) {
        return b >= f.p && b + f.p <= n ? boundaryError<P>(straight, f, b) : boundaryError<P>(at, f, b);
    };

    const int64_t W = std::min(kMaxWindow, n / 4), h = W / 2;
    const auto mean = [&](int64_t first) {
        double s = 0;
        for (int64_t b = first; b < first + W; ++b) s += boundaryError<P>(at, f, b);
        return s / static_cast<double>(W);
    };
    const double S = mean(-h);
    const double L = (mean(-h - W) + mean(W - h)) / 2;
    // Windows clear of the seam's.
    const double M = largestWindowMean(error, W - h, n - h, W);
    // A floor far below any rounding of the buffer's power keeps a buffer
    // predicted exactly inside (a pure tone in floats) finite at its seam.
    const double floor = 1e-30 * power / static_cast<double>(n) + std::numeric_limits<double>::min();
    const double ratio = std::sqrt(S / std::max({L, std::min(S, M) / 2, floor}));
    return std::isfinite(ratio) ? ratio : std::numeric_limits<double>::max();
}

}  // namespace

template <class Reader>
double seamPredictionRatio(const Reader& x, int64_t n) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    if (n < kSeamShortest) return none;
    double power = 0;
    for (int64_t i = 0; i < n; ++i) power += x.re(i) * x.re(i) + x.im(i) * x.im(i);
    if (!(power > 0)) return none;
    // Every buffer of 192 samples or more has the largest order.
    const int p = static_cast<int>(std::clamp<int64_t>(n / 16, 1, kMaxOrder));
    return p == kMaxOrder ? ratioOf<kMaxOrder>(x, n, power, p) : ratioOf<0>(x, n, power, p);
}

template double seamPredictionRatio(const Ci16Reader&, int64_t);
template double seamPredictionRatio(const Cf32Reader&, int64_t);
