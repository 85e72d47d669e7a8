// Helpers the test files share: bit-for-bit comparison, instantaneous
// frequency, a handle that releases itself, the last refusal's message and
// the check that a call was refused cleanly.
#pragma once

#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "wrapperGenSignalWave.h"

namespace testing_support {

// Same bits, not merely equal values: -0 differs from +0 and NaNs compare.
template <class T>
bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}
template <class T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// Frequency in Hz between two neighbouring samples of a rotating phasor.
inline double instantaneousFrequency(std::complex<double> later, std::complex<double> earlier, double rate) {
    return std::arg(later * std::conj(earlier)) * rate / 6.283185307179586;
}

// A generator object for the length of a scope.
class Handle {
public:
    Handle() : id(GenSignalObjCreatSelfEncode()) {}
    ~Handle() {
        if (id >= 0) GenSignalObjRelease(id);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    const int id;
};

// The message GenSignalGetLastError holds for this thread.
inline std::string lastError() {
    char buffer[1024];
    const int n = GenSignalGetLastError(buffer, sizeof buffer);
    return n < 0 ? "<GenSignalGetLastError failed>" : std::string(buffer);
}

// Calls `call(iq, count)` with sentinel out-parameters and checks that it
// answers `code`, leaves both untouched and leaves a message that contains
// `reason`. Use as `expectRefusal([&](int16_t** iq, int* n) { return
// GenerateAmWaveform(h.id, &p, iq, n, rate); }, "AMModParams.modShape = 9")`.
template <class Call>
void expectRefusal(Call call, const std::string& reason, int code = -1) {
    int16_t sentinel = 0;
    int16_t* iq = &sentinel;
    int count = -12345;
    EXPECT_EQ(call(&iq, &count), code);
    EXPECT_EQ(iq, &sentinel) << "iq was written";
    EXPECT_EQ(count, -12345) << "count was written";
    const std::string message = lastError();
    EXPECT_NE(message.find(reason), std::string::npos)
        << "message: \"" << message << "\"\nexpected to contain: \"" << reason << "\"";
}

}  // namespace testing_support
