#include "crestFactor.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "buffer.h"

namespace {

constexpr int64_t kBlock = 65536;

double power(const std::complex<double>& v) { return v.real() * v.real() + v.imag() * v.imag(); }

}  // namespace

double meanPower(const std::complex<double>* x, int64_t n) {
    if (n < 1) return 0;
    const int64_t blocks = (n + kBlock - 1) / kBlock;
    Buffer<double> partial(static_cast<size_t>(blocks));
    double total = 0;
    if (!partial) {
        for (int64_t i = 0; i < n; ++i) total += power(x[i]);
        return total / static_cast<double>(n);
    }
#pragma omp parallel for schedule(static)
    for (int64_t b = 0; b < blocks; ++b) {
        double s = 0;
        const int64_t hi = std::min(n, (b + 1) * kBlock);
        for (int64_t i = b * kBlock; i < hi; ++i) s += power(x[i]);
        partial[b] = s;
    }
    for (int64_t b = 0; b < blocks; ++b) total += partial[b];
    return total / static_cast<double>(n);
}

double paprAtDb(const std::complex<double>* x, int64_t n, double p) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double mean = meanPower(x, n);
    if (!(mean > 0)) return nan;
    Buffer<double> powers(static_cast<size_t>(n));
    if (!powers) return nan;
#pragma omp parallel for schedule(static)
    for (int64_t i = 0; i < n; ++i) powers[i] = power(x[i]);
    int64_t rank = static_cast<int64_t>(std::floor(p * static_cast<double>(n)));
    if (rank > n - 1) rank = n - 1;
    if (rank < 0) rank = 0;
    double* v = powers.get();
    if (rank == 0) return 10.0 * std::log10(*std::max_element(v, v + n) / mean);  // the peak needs no ranking
    std::nth_element(v, v + rank, v + n, [](double a, double b) { return a > b; });
    return 10.0 * std::log10(v[rank] / mean);
}
