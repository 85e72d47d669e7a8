// Calls into the library in the exact loop mode, and what the tests of that
// mode measure: exact fractions of the rates written as whole numbers, the
// seam step, and the spectrum of a loop.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace testing_support {

// One entry point called on a handle: rc, the I/Q values, the loop it made.
struct Loop {
    int rc = 0;
    std::vector<int16_t> iq;
    GenSignalLoopInfo info{};
    std::string reason, note;
    size_t samples() const { return iq.size() / 2; }
    std::complex<double> at(size_t i) const {
        return {static_cast<double>(iq[2 * i]), static_cast<double>(iq[2 * i + 1])};
    }
};

using Call = std::function<int(int handle, int16_t** iq, int* count)>;

inline Loop runOn(int handle, const Call& call) {
    Loop l;
    int16_t* iq = nullptr;
    int count = 0;
    l.rc = call(handle, &iq, &count);
    if (l.rc == 0) l.iq.assign(iq, iq + count);
    l.reason = lastError();
    GenSignalGetLoopInfo(handle, &l.info);
    char note[512];
    GenSignalGetNote(handle, note, sizeof note);
    l.note = note;
    return l;
}

// The call on a fresh handle in the exact mode (with these tone phases).
inline Loop exactLoop(const Call& call, int phases = GENSIGNAL_TONE_PHASES_ZERO) {
    Handle h;
    EXPECT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT), 0);
    EXPECT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_TONE_PHASES, phases), 0);
    return runOn(h.id, call);
}

inline Loop definedLoop(const Call& call) {
    Handle h;
    return runOn(h.id, call);
}

// A fraction num / den of whole numbers, in lowest terms.
struct Fraction {
    __int128 num, den;
};

inline __int128 gcd128(__int128 a, __int128 b) {
    while (b != 0) {
        const __int128 t = a % b;
        a = b;
        b = t;
    }
    return a < 0 ? -a : a;
}

inline Fraction fraction(__int128 num, __int128 den) {
    const __int128 g = gcd128(num, den);
    return {num / g, den / g};
}

// The step between the last sample and the first, and the largest between
// neighbours inside the buffer.
inline double seamStep(const Loop& l) { return std::abs(l.at(0) - l.at(l.samples() - 1)); }
inline double largestStep(const Loop& l) {
    double largest = 0;
    for (size_t i = 1; i < l.samples(); ++i) largest = std::max(largest, std::abs(l.at(i) - l.at(i - 1)));
    return largest;
}

inline double crestFactorDb(const Loop& l) {
    double peak = 0, sum = 0;
    for (size_t i = 0; i < l.samples(); ++i) {
        const double p = std::norm(l.at(i));
        peak = std::max(peak, p);
        sum += p;
    }
    return 10 * std::log10(peak / (sum / static_cast<double>(l.samples())));
}

}  // namespace testing_support
