// The square, triangle and sawtooth modulating waves sample by sample: a
// segment counter that advances by at most one per sample carries the state,
// so the values come in time order, t_i = i * (1 / sampleRate) for i = 0, 1,
// 2, ... (the sine needs no state: sin(t_i * (2 pi * modFrequency))).
#pragma once

#include <cmath>
#include <cstdint>

#include "exactRational.h"
#include "mathConstants.h"

// AM and FM buffers hold a whole number of modulation periods when they can:
// the first of 1, 10, 100, 1000 periods whose length in samples is whole
// (within 1e-12), else 10000.
double wholePeriodCount(double samplesPerPeriod);

// The modulating shapes: 1 sine (-1 ... 1, needs no state), 2 square (1 for
// the first half period, then 0), 3 triangle (0 up to 1 and back), 4
// sawtooth (0 up to 1); and the rule as a refusal states it.
inline bool knownModShape(int shape) { return shape >= 1 && shape <= 4; }
constexpr char kModShapeRule[] = "must be 1 (sine), 2 (square), 3 (triangle) or 4 (sawtooth)";

class SegmentWave {
public:
    SegmentWave(double modFrequency, double sampleRate)
        : dt_(1 / sampleRate), T_(1 / modFrequency), half_(T_ * 0.5), slope_(2 / T_), invT_(1 / T_) {}

    // The next value of shape 2 square (1 for the first half period, then
    // 0), 3 triangle (0 up to 1 and back) or 4 sawtooth (0 up to 1). One
    // wave object follows one shape; the shape is a template argument so
    // that a loop over samples carries no test of it.
    template <int Shape>
    double next() {
        static_assert(Shape >= 2 && Shape <= 4, "the sine needs no segment counter");
        const int i = i_++;
        if (Shape == 2) {
            if (!(s_ * half_ > i * dt_)) {
                ++s_;
                level_ = (s_ % 2 == 1) ? 1.0 : 0.0;
            }
            return level_;
        }
        const double t = i * dt_;
        if (Shape == 3) {
            if (!(s_ * half_ > t)) ++s_;
            const double u = t - (s_ - 1) * half_;
            return (s_ % 2 == 1) ? slope_ * u : 1 - slope_ * u;
        }
        if (!(s_ * T_ > t)) ++s_;
        return (t - (s_ - 1) * T_) * invT_;
    }

    // Samples from the next one up to, not including, the returned index
    // (at most `limit`) keep the current segment: the counter test of next()
    // would not advance for any of them. Found by walking from an estimate,
    // which is exact because i * dt never decreases as i grows.
    template <int Shape>
    int steadyUntil(int limit) const {
        const double bound = s_ * (Shape == 4 ? T_ : half_);
        const double estimate = std::ceil(bound / dt_);
        int64_t j = !(estimate < limit) ? limit : !(estimate > i_) ? i_ : static_cast<int64_t>(estimate);
        while (j > i_ && !(bound > static_cast<double>(j - 1) * dt_)) --j;
        while (j < limit && bound > static_cast<double>(j) * dt_) ++j;
        return static_cast<int>(j);
    }

    // The next value when steadyUntil has said the segment does not change:
    // next() without its counter test.
    template <int Shape>
    double steady() {
        const int i = i_++;
        if (Shape == 2) return level_;
        const double t = i * dt_;
        if (Shape == 3) {
            const double u = t - (s_ - 1) * half_;
            return (s_ % 2 == 1) ? slope_ * u : 1 - slope_ * u;
        }
        return (t - (s_ - 1) * T_) * invT_;
    }

    // Values of `n` samples into y[i] = value + offset, run by run.
    template <int Shape>
    void fill(double* y, int n, double offset) {
        int i = 0;
        while (i < n) {
            const int end = steadyUntil<Shape>(n);
            for (; i < end; ++i) y[i] = steady<Shape>() + offset;
            if (i < n) y[i++] = next<Shape>() + offset;
        }
    }

private:
    double dt_, T_, half_, slope_, invT_;
    int s_ = 1;
    double level_ = 1.0;
    int i_ = 0;
};

// The same waves at exact positions, for loops whose period is not whole
// samples: sample i lies at the fraction r / b of a period, r = i a mod b,
// a / b periods per sample (both below 2^64). Sine: sin(2 pi r / b); the
// others from 0 to 1 as SegmentWave runs: square 1 in the first half
// period, then 0; triangle up and down; sawtooth up.
class ExactWave {
public:
    ExactWave(int shape, const Rational& periodsPerSample)
        : shape_(shape),
          a_(static_cast<uint64_t>(periodsPerSample.num)),
          b_(static_cast<uint64_t>(periodsPerSample.den)) {}
    double next() {
        const double r = static_cast<double>(r_), b = static_cast<double>(b_);
        r_ += a_;
        if (r_ >= b_) r_ %= b_;
        switch (shape_) {
            case 1: return std::sin(kTwoPi * r / b);
            case 2: return 2 * r < b ? 1.0 : 0.0;
            case 3: return 2 * r < b ? 2 * r / b : 2 - 2 * r / b;
            default: return r / b;
        }
    }

private:
    int shape_;
    uint64_t a_, b_, r_ = 0;
};

// A wave value of shape 1 ... 4 mapped onto -1 ... 1 as FM maps each one.
template <int Shape>
double signedWave(double w) {
    if (Shape == 1) return w;
    if (Shape == 2) return w + w - 1;
    if (Shape == 3) return (w - 0.5) + (w - 0.5);
    return w * 2 - 1;
}
inline double signedWave(int shape, double w) {
    switch (shape) {
        case 1: return signedWave<1>(w);
        case 2: return signedWave<2>(w);
        case 3: return signedWave<3>(w);
        default: return signedWave<4>(w);
    }
}
