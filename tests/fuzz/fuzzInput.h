// Turns fuzzer bytes into record fields. Every field starts with a selector
// byte: below 128 the value is a realistic one inside the field's valid
// range (so generation runs deep), from 128 on it is taken from a list of
// edge values (0, +-1, the int limits, powers of two near 2^30, NaN, the
// infinities, subnormals, +-0, DBL_MAX, 1e+-300, FLT_MAX, values whose
// squares underflow float, ...). A used-up
// input reads as zero bytes, so every input decodes to some call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzing {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // Little-endian unsigned value of `bytes` bytes (at most 8).
    uint64_t bits(int bytes);

    // A finite value in [lo, hi] (log-uniform when 0 < lo), sometimes
    // rounded to two significant digits, or an edge value.
    double real(double lo, double hi);
    // As real(lo, hi), with a sign byte in the realistic half: for fields
    // where negative values are meaningful (frequencies, deviations).
    double signedReal(double lo, double hi);
    // An integer in [lo, hi] (log-uniform when the range is wide), or an
    // edge value.
    int integer(int lo, int hi);
    // 1, 2, 4, ... 2^maxLog, or an edge value.
    int powerOfTwo(int maxLog);
    // The sample rate: realistic 1e3 ... 1e9, or `locked` (the rate at
    // which the generator needs no resampling) exactly or just beside its
    // tolerance, or an edge value.
    double rate(double locked);

private:
    double realistic(double lo, double hi);
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace fuzzing
