#include "phaseSlots.h"

#include <cmath>

void phasorsFromPhases(std::complex<float>* x, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        double s, c;
        ::sincos(loadPhase(x + i), &s, &c);
        x[i] = {static_cast<float>(c), static_cast<float>(s)};
    }
}
