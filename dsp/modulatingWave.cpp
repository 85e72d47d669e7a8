// The periodic modulating waves shared by the AM and FM generators.
#include "modulatingWave.h"

#include <cmath>

#include "function.h"

double wholePeriodCount(double samplesPerPeriod) {
    for (double k : {1.0, 10.0, 100.0, 1000.0}) {
        const double v = k * samplesPerPeriod;
        if (std::fabs(v - std::round(v)) < 1e-12) return k;
    }
    return 10000.0;
}

bool modulatingWave(int shape, double modFrequency, double sampleRate, int n, double* x) {
    if (!knownModShape(shape)) return false;
    if (shape == 1) {
        const double dt = 1 / sampleRate;
        const double w = kTwoPi * modFrequency;
        for (int i = 0; i < n; ++i) x[i] = std::sin(i * dt * w);
        return true;
    }
    SegmentWave wave(modFrequency, sampleRate);
    switch (shape) {
        case 2:
            for (int i = 0; i < n; ++i) x[i] = wave.next<2>();
            break;
        case 3:
            for (int i = 0; i < n; ++i) x[i] = wave.next<3>();
            break;
        default:
            for (int i = 0; i < n; ++i) x[i] = wave.next<4>();
            break;
    }
    return true;
}
