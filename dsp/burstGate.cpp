#include "burstGate.h"

#include <cmath>

#include "mathConstants.h"

float burstGain(const BurstPattern& b, int64_t n) {
    if (!b.bursts()) return 1.0f;
    int64_t t = (n - b.start) % b.period;
    if (t < 0) t += b.period;
    if (t >= b.on) return 0.0f;
    const int64_t fromEdge = t < b.on - 1 - t ? t : b.on - 1 - t;
    if (fromEdge >= b.ramp) return 1.0f;
    // Half a sample in, so that rise and fall are mirror images.
    const double x = (static_cast<double>(fromEdge) + 0.5) / static_cast<double>(b.ramp);
    return static_cast<float>(0.5 * (1.0 - std::cos(kPi * x)));
}

std::vector<BurstSpan> burstSpans(const BurstPattern& b, int64_t n) {
    std::vector<BurstSpan> spans;
    if (!b.bursts()) return spans;
    // Every burst start that can reach into [0, n): from the one before 0.
    int64_t first = b.start % b.period;
    if (first > 0) first -= b.period;
    for (int64_t s = first; s < n; s += b.period) {
        const int64_t lo = s < 0 ? 0 : s;
        const int64_t hi = s + b.on < n ? s + b.on : n;
        if (hi > lo) spans.push_back({lo, hi - lo});
    }
    return spans;
}
