#include "besselI0.h"

namespace {

// 1 / k^2 for the series, made by the compiler (a division rounds the same
// there), so that no caller can run before the table is filled.
struct InverseSquares {
    double v[128] = {};
    constexpr InverseSquares() {
        for (int k = 1; k < 128; ++k) v[k] = 1.0 / (static_cast<double>(k) * k);
    }
};
constexpr InverseSquares kInverseSquares;

}  // namespace

double besselI0(double x) {
    const double y = 0.25 * x * x;
    double sum = 1, term = 1;
    for (int k = 1; k < 128; ++k) {
        term *= y * kInverseSquares.v[k];
        const double next = sum + term;
        if (next == sum) break;
        sum = next;
    }
    return sum;
}
