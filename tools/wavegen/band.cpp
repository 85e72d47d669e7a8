#include "band.h"

#include <fftw3.h>

#include <algorithm>
#include <vector>

Band occupiedBand(const int16_t* iq, int samples, double sampleRate) {
    const int n = std::min(samples, kBandWindow);
    if (n < 1) return {};
    auto* buffer = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<size_t>(n)));
    if (!buffer) return {};
    fftw_plan plan = fftw_plan_dft_1d(n, buffer, buffer, FFTW_FORWARD, FFTW_ESTIMATE);
    for (int i = 0; i < n; ++i) {
        buffer[i][0] = iq[2 * i];
        buffer[i][1] = iq[2 * i + 1];
    }
    fftw_execute(plan);
    const int half = n / 2;
    std::vector<double> power(static_cast<size_t>(n));
    for (int m = 0; m < n; ++m) {
        const auto& x = buffer[(m - half + n) % n];
        power[m] = x[0] * x[0] + x[1] * x[1];
    }
    fftw_destroy_plan(plan);
    fftw_free(buffer);

    double total = 0;
    for (double p : power) total += p;
    if (!(total > 0)) return {};
    const double tail = 0.005 * total;
    int lower = 0;
    double sum = 0;
    for (; lower < n - 1; ++lower) {
        sum += power[lower];
        if (sum > tail) break;
    }
    int upper = n - 1;
    sum = 0;
    for (; upper > 0; --upper) {
        sum += power[upper];
        if (sum > tail) break;
    }
    return {(static_cast<double>(lower - half) - 0.5) * sampleRate / n,
            (static_cast<double>(upper - half) + 0.5) * sampleRate / n};
}
