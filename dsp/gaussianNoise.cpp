// Standard normal values: Marsaglia's polar method over the C library's
// rand(), keeping the second value of each accepted pair for the next call.
// The library never seeds rand(); a host that wants a repeatable stream
// seeds it itself.
#include <cmath>
#include <cstdlib>

#include "gaussianNoise.h"
#include "polarDraws.h"

namespace {
// The spare is kept per thread: host threads generating noise at the same
// time must not race on it, and one thread calling repeatedly still
// receives both values of every accepted pair in order.
thread_local double spare = 0.0;
thread_local int has_spare = 0;
}  // namespace

bool randnSparePending() { return has_spare != 0; }

double randn() {
    if (has_spare) {
        has_spare = 0;
        return spare;
    }
    double u, v, s;
    do {
        // Two separate statements fix the order of the two rand() calls.
        u = 2 * (std::rand() / 2147483647.0) - 1;
        v = 2 * (std::rand() / 2147483647.0) - 1;
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double f = std::sqrt(std::log(s) * -2.0 / s);
    spare = v * f;
    has_spare = 1;
    return u * f;
}
