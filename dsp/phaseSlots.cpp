#include "phaseSlots.h"
#include "sharedCores.h"

#include <algorithm>
#include <cmath>

void phasorsFromPhases(std::complex<float>* x, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        double s, c;
        ::sincos(loadPhase(x + i), &s, &c);
        x[i] = {static_cast<float>(c), static_cast<float>(s)};
    }
}

void phasorsInBlocks(std::complex<float>* x, int64_t n) {
    constexpr int64_t kBlock = 4096;
#pragma omp parallel for schedule(static) num_threads(availableTeam()) if (n >= (1 << 16))
    for (int64_t b = 0; b < (n + kBlock - 1) / kBlock; ++b)
        phasorsFromPhases(x + b * kBlock, static_cast<size_t>(std::min(kBlock, n - b * kBlock)));
}
