// Working values of each thread of a team, kept apart: each thread's row
// starts a 128-byte stretch of its own, so that no two threads write into
// one cache line. Rows that shared a line would pass it between the cores
// at every write, and a team of two would run slower than one thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "buffer.h"

template <class T>
class ThreadRows {
public:
    static constexpr size_t kApart = 128 / sizeof(T);  // elements

    // `count` elements for each of `threads`; false when the memory cannot be had.
    ThreadRows(size_t count, int threads)
        : stride_((count + kApart - 1) / kApart * kApart),
          memory_(stride_ * static_cast<size_t>(threads > 0 ? threads : 1) + kApart) {
        if (memory_) {
            const uintptr_t at = reinterpret_cast<uintptr_t>(memory_.get()) / sizeof(T);
            first_ = memory_.get() + (kApart - at % kApart) % kApart;
        }
    }
    explicit operator bool() const { return static_cast<bool>(memory_); }
    T* row(int thread) const { return first_ + stride_ * static_cast<size_t>(thread); }
    size_t bytes() const { return Buffer<T>::bytesFor(memory_.size()); }

private:
    size_t stride_;
    Buffer<T> memory_;
    T* first_ = nullptr;
};
