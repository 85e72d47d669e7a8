// One period of a pulse-shaped point train, as the periodic resampler reads
// it: point j of the train at sample j * sps, filtered as the defined
// shaping filters it (polyphaseFilter.h), the period being the first
// symbols * sps shaped samples (the points end with a copy of their first S,
// so those samples are exactly one period of the endlessly repeated train);
// the quadrature part delayed by `delay` samples cyclically (OQPSK).
//
// A period no longer than the output is shaped once and read from memory;
// a longer one (a rate falling by more than the loop's periods) is shaped
// window by window, so memory stays with the output's length.
#pragma once

#include <complex>
#include <cstdint>

#include "buffer.h"
#include "polyphaseFilter.h"

class ShapedPeriod {
public:
    ShapedPeriod(const std::complex<float>* points, const StuffedFilter& filter, int64_t length, int64_t delay)
        : points_(points), filter_(filter), length_(length), delay_(delay) {}

    // Ready to serve windows of at most `window` samples to `team` threads
    // of a run of `outputs` samples: 0, or -3 with the reason.
    int prepare(int64_t outputs, int64_t window, int team);

    // Samples [a, b) of the periodic signal, any integers a <= b.
    void operator()(int64_t a, int64_t b, std::complex<float>* dst) const;

private:
    void shapeCyclic(int64_t a, int64_t b, std::complex<float>* dst) const;

    const std::complex<float>* points_;
    StuffedFilter filter_;
    int64_t length_, delay_;
    Buffer<std::complex<float>> period_;   // the whole period, when held
    Buffer<std::complex<float>> scratch_;  // per thread: the delayed window
    int64_t window_ = 0;
};
