// The one way working memory is owned: a malloc'ed array that frees itself
// on every way out of its scope, or is handed on with release() to a
// receiver that frees it with free() (the frame does so for sample arrays).
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "lastError.h"

template <class T>
class Buffer {
public:
    Buffer() = default;
    // `count` elements, zero-filled when `zeroed`; empty (false) when the
    // memory cannot be had. A count of 0 still allocates, so that an empty
    // result is not mistaken for a failure.
    explicit Buffer(size_t count, bool zeroed = false) : count_(count) {
        const size_t n = count ? count : 1;
        data_ = static_cast<T*>(zeroed ? std::calloc(n, sizeof(T)) : std::malloc(n * sizeof(T)));
        if (!data_) count_ = 0;
    }
    // Takes over a malloc'ed array of `count` elements.
    static Buffer adopt(T* data, size_t count) {
        Buffer b;
        b.data_ = data;
        b.count_ = data ? count : 0;
        return b;
    }
    ~Buffer() { std::free(data_); }
    Buffer(Buffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), count_(std::exchange(other.count_, 0)) {}
    Buffer& operator=(Buffer&& other) noexcept {
        if (this != &other) {
            std::free(data_);
            data_ = std::exchange(other.data_, nullptr);
            count_ = std::exchange(other.count_, 0);
        }
        return *this;
    }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    explicit operator bool() const { return data_ != nullptr; }
    T* get() const { return data_; }
    T& operator[](size_t i) const { return data_[i]; }
    size_t size() const { return count_; }
    // Bytes a buffer of `count` elements needs, for the out-of-memory message.
    static size_t bytesFor(size_t count) { return count * sizeof(T); }

    T* release() {
        count_ = 0;
        return std::exchange(data_, nullptr);
    }
    void reset() {
        std::free(data_);
        data_ = nullptr;
        count_ = 0;
    }
    // The same block as `count` elements of U, for an array converted in
    // place into smaller elements; the memory beyond them goes back to the C
    // library when it takes it (the block stays whole when it does not).
    template <class U>
    Buffer<U> reuseAs(size_t count) && {
        void* block = release();
        if (void* smaller = std::realloc(block, count ? count * sizeof(U) : 1)) block = smaller;
        return Buffer<U>::adopt(static_cast<U*>(block), count);
    }

private:
    T* data_ = nullptr;
    size_t count_ = 0;
};

// The refusal of a working array that could not be had: `code` with
// "out of memory: N bytes for the <what>".
template <class T>
int outOfMemory(int code, size_t count, const char* what) {
    return refuse(code, "out of memory: %zu bytes for the %s", Buffer<T>::bytesFor(count), what);
}
