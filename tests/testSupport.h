// Helpers the test files share: bit-for-bit comparison, instantaneous
// frequency, a handle that releases itself, the last refusal's message, the
// check that a call was refused cleanly, and a child process whose address
// space is capped for allocation failures.
#pragma once

#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// Sanitizer runtimes reserve huge address ranges: there a capped address
// space fails everything, so allocation-failure tests skip.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAddressSpaceCapUsable = false;
#else
constexpr bool kAddressSpaceCapUsable = true;
#endif

// Bytes the heap holds now, small blocks and mapped ones alike.
inline size_t heapBytesInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// For EXPECT_EXIT(..., ::testing::ExitedWithCode(0), "") with the
// "threadsafe" death-test style, so that the child starts fresh: caps the
// address space at what the child maps now plus `headroom` bytes, runs
// `body` (which returns 0 when all went as expected), lifts the cap and
// exits with body's result, plus 64 when the heap is not back within 64 KiB
// of where it was (a working array left behind), or 32 when the cap cannot
// be set.
template <class Body>
[[noreturn]] void exitUnderAddressSpaceCap(size_t headroom, Body body) {
    // One arena, so that a failed request is not served from another
    // arena's reserve; every large block its own mapping, returned on free.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 20);
    // The OpenMP pool and its stacks come into being before the cap.
#pragma omp parallel
    { [[maybe_unused]] volatile int warm = 0; }
    long pages = 0;
    rlimit saved{};
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%ld", &pages) != 1 || getrlimit(RLIMIT_AS, &saved) != 0) std::_Exit(32);
    std::fclose(statm);
    rlimit cap = saved;
    cap.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
    if (saved.rlim_max != RLIM_INFINITY && cap.rlim_cur > saved.rlim_max) std::_Exit(32);
    const size_t before = heapBytesInUse();
    if (setrlimit(RLIMIT_AS, &cap) != 0) std::_Exit(32);
    const int result = body();
    setrlimit(RLIMIT_AS, &saved);
    const size_t after = heapBytesInUse();
    const size_t drift = after > before ? after - before : before - after;
    std::_Exit(result | (drift > (64u << 10) ? 64 : 0));
}

}  // namespace testing_support
