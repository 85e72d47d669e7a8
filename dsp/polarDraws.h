// The polar method of randn() in two halves, for callers that take whole
// pairs: the draws, which must run in order on the calling thread (rand()
// is one shared sequence), and the arithmetic on an accepted attempt, which
// can run anywhere later. Together they give exactly the two values that
// two calls of randn() give when no spare value is pending.
#pragma once

#include <cmath>
#include <cstdlib>

#include "gaussianNoise.h"  // randnSparePending: then the caller calls randn()

// The two rand() results of the next accepted attempt, drawn and tested as
// randn() draws and tests them.
inline void drawAcceptedAttempt(int* first, int* second) {
    for (;;) {
        const int a = std::rand();
        const int b = std::rand();
        const double u = 2 * (a / 2147483647.0) - 1;
        const double v = 2 * (b / 2147483647.0) - 1;
        const double s = u * u + v * v;
        if (!(s >= 1.0 || s == 0.0)) {
            *first = a;
            *second = b;
            return;
        }
    }
}

// randn()'s two values from an accepted attempt: u * f first, then v * f.
inline void polarPair(int first, int second, double* x, double* y) {
    const double u = 2 * (first / 2147483647.0) - 1;
    const double v = 2 * (second / 2147483647.0) - 1;
    const double s = u * u + v * v;
    const double f = std::sqrt(std::log(s) * -2.0 / s);
    *x = u * f;
    *y = v * f;
}
