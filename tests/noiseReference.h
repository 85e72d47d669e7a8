// Test helpers for the Gaussian source: an independent evaluation of the
// polar method over a recorded run of rand(), and a way to start from an
// empty spare (a fresh thread has none).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <thread>
#include <vector>

struct PolarReference {
    std::vector<int> draws;      // rand() after srand(seed), in order
    std::vector<double> values;  // what randn must return, in order
    std::vector<size_t> used;    // rand() calls consumed once values[i] is returned
    int rejected = 0;            // attempts thrown away
};

// Records `draws` values of rand() after srand(seed) (leaving rand() seeded
// with `seed` again) and turns them into the expected stream.
inline PolarReference polarReference(unsigned seed, size_t draws) {
    PolarReference r;
    std::srand(seed);
    for (size_t i = 0; i < draws; ++i) r.draws.push_back(std::rand());
    std::srand(seed);
    for (size_t pos = 0; pos + 1 < r.draws.size();) {
        const double u = 2.0 * (r.draws[pos] / 2147483647.0) - 1.0;
        const double v = 2.0 * (r.draws[pos + 1] / 2147483647.0) - 1.0;
        pos += 2;
        const double s = u * u + v * v;
        if (!(s < 1.0) || s == 0.0) {
            ++r.rejected;
            continue;
        }
        const double f = std::sqrt(std::log(s) * -2.0 / s);
        r.values.push_back(u * f);
        r.used.push_back(pos);
        r.values.push_back(v * f);  // the spare: no further rand() call
        r.used.push_back(pos);
    }
    return r;
}

// Runs `f` on a new thread, whose Gaussian source starts without a spare.
template <class F>
void onFreshThread(F f) {
    std::thread t(f);
    t.join();
}
