// A part's bursts over a loop: on for `on` samples out of every `period`,
// the first burst from `start`, circular over the loop; each edge ramped
// over `ramp` samples with a raised cosine inside the on time, so that a
// burst does not splatter.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

struct BurstPattern {
    int64_t on = 0;  // 0: always on
    int64_t period = 0;
    int64_t start = 0;  // 0 ... loop length - 1
    int64_t ramp = 0;   // 2 ramp <= on

    bool bursts() const { return on > 0; }
};

// The gain at sample n of the loop: 0 off, 1 on, the ramp between.
float burstGain(const BurstPattern& b, int64_t n);

struct BurstSpan {
    int64_t start, count;
};

// The on runs inside [0, n) in buffer order; a burst that runs over the
// loop's end comes out as two spans. Empty when the part never bursts.
std::vector<BurstSpan> burstSpans(const BurstPattern& b, int64_t n);
