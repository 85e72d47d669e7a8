// A scene's spectrum read band by band: one unscaled DFT of the whole loop
// (bin k at k rate / n, the upper half at negative frequencies; stored at
// the slots of a forward split transform of n points, splitDft.h), the bins
// of a band in Hz, their power, what a change of the buffer cost inside a
// band (EVM after the best complex gain) and the adjacent-channel ratio of
// a band.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <vector>

#include "buffer.h"
#include "splitDft.h"

// Single precision: the bands' figures need far less than float's
// rounding, and the memory a scene's transforms move is most of their time.
using SceneBin = std::complex<float>;
using SceneDft = SplitDft<float>;

struct SceneBand {
    double lower, upper;  // Hz
};

// A part placed on the loop, as SceneSpectrum::add takes it.
struct PlacedSpectrum {
    double gain;
    int64_t cycles;
    double phase;  // rad
    int64_t delay;
};

class SceneSpectrum {
public:
    // 0, or -3 with the reason. `dft` is planned on the first take of its
    // size and reused by the others: one plan for all of a scene's spectra;
    // so is the spectrum's memory, from one take to the next of its size.
    int take(const std::complex<double>* x, int64_t n, double rate, SceneDft& dft);
    int take(const std::complex<float>* x, int64_t n, double rate, SceneDft& dft);
    // As take, transforming x's first n values where they are: x leaves
    // with this spectrum's former memory, perhaps none.
    int takeOver(Buffer<SceneBin>& x, int64_t n, double rate, SceneDft& dft);

    // Mean power of the buffer inside the band (Parseval: sum |X|^2 / n^2).
    double bandPower(const SceneBand& band) const;
    // The same of `count` bands at once, side by side on the free cores.
    // A band's power is remembered until the bins change.
    void bandPowers(const SceneBand* bands, int count, double* out) const;
    // Sets keep[slot] for every bin of the band, at its slot.
    void markSlots(const SceneBand& band, unsigned char* keep) const;
    // The band that holds `percent` of the power, with equal tails either
    // side, from the lowest frequency up; {0, 0} for a silent buffer.
    SceneBand occupied(double percent) const;
    // The bins at their slots, to be changed: what was remembered of them goes.
    SceneBin* slots() {
        known_.clear();
        return bins_.get();
    }
    const SceneBin& atSlot(int64_t slot) const { return bins_[static_cast<size_t>(slot)]; }
    // f(slot) for the signed bins lo ... hi in turn (bin b at b mod n).
    template <class F>
    void eachSlot(int64_t lo, int64_t hi, F&& f) const {
        if (hi < lo) return;
        SceneDft::BinWalk at(*layout_, lo < 0 ? lo + n_ : lo);
        for (int64_t b = lo; b <= hi; ++b, at.next()) f(at.slot());
    }
    // A copy of another spectrum: 0, or -3 with the reason.
    int copy(const SceneSpectrum& other);

    // The spectrum of a sum built from its parts' spectra instead of a
    // transform of the sum: start() on the layout of a part's spectrum of
    // the same length (every bin 0), then add() each part. 0, or -3 with
    // the reason.
    int start(const SceneSpectrum& like);
    // Adds each part: x delayed circularly by `delay` samples, times
    // `gain`, turned by `cycles` whole cycles over the loop from `phase`
    // rad; bin k gains gain e^(i phase) e^(-2 pi i (k - cycles) delay / n)
    // X[k - cycles].
    // `alongside`, when given, runs on one thread of the team meanwhile.
    // 0, or -3 with the reason.
    int add(const SceneSpectrum& x, const PlacedSpectrum* parts, int count,
            const std::function<void()>& alongside = nullptr);
    // Whether start() and add() serve spectra of n points: the turn of a
    // bin is read from a table as long as one row of slots.
    static bool sumsFromParts(const SceneDft& layout) { return layout.size() / layout.slotRows() <= kMaxTurns; }
    int64_t size() const { return n_; }
    double rate() const { return rate_; }

private:
    static constexpr int64_t kMaxTurns = int64_t(1) << 20;
    struct KnownPower {
        int64_t lo, hi;  // signed bins
        double power;
    };
    // Each job's power, up to four jobs at a time side by side on one thread.
    void rangePowers(KnownPower* jobs, int count) const;
    template <int M>
    void rangePowersSideBySide(KnownPower* jobs) const;
    int transformBins(SceneDft& dft);
    template <class Real>
    int transform(const std::complex<Real>* x, int64_t n, double rate, SceneDft& dft);
    Buffer<SceneBin> bins_;
    const SceneDft* layout_ = nullptr;
    int64_t n_ = 0;
    double rate_ = 0;
    mutable std::vector<KnownPower> known_;
    Buffer<std::complex<double>> turns_;  // e^(-2 pi i m / C), m < C: the slots' columns
};

// sqrt(sum |after - g before|^2 / sum |g before|^2) over the band, g the
// complex gain that makes it least, in percent; 0 for an empty band.
double evmCostPercent(const SceneSpectrum& before, const SceneSpectrum& after, const SceneBand& band);

// The channel as wide as `band`, `spacing` Hz below (side -1) or above
// (+1) it.
SceneBand adjacentBand(const SceneBand& band, double spacing, int side);
// Whether a band lies within +-rate/2.
bool withinRate(const SceneBand& band, double rate);

// The adjacent channel's power over the band's, dB; NaN beyond +-rate/2.
double adjacentRatioDb(const SceneSpectrum& s, const SceneBand& band, double spacing, int side, double rate);
