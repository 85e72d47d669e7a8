// The largest amount of heap a call held beyond what was held when it
// started. Counted through the sanitizer's allocation hooks, so it works in
// AddressSanitizer builds only; elsewhere `available()` is false and the
// peak reads 0.
#pragma once

#include <cstddef>

namespace fuzzing {

class HeapWatch {
public:
    HeapWatch();   // starts watching
    ~HeapWatch();  // stops
    HeapWatch(const HeapWatch&) = delete;
    HeapWatch& operator=(const HeapWatch&) = delete;

    static bool available();
    size_t peakGrowth() const;
};

}  // namespace fuzzing
