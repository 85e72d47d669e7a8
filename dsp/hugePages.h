// Large fresh arrays ask the kernel for huge pages: a first touch then
// costs one fault per 2 MiB instead of one per 4 KiB, which is most of the
// price of memory that is written once. Only arrays of 32 MiB and more:
// smaller ones the C library serves again and again from memory it keeps
// once it has freed one of their size (its mmap threshold grows up to
// 32 MiB), and advising those on every call costs more than it saves.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

// Advice only: nothing changes when the kernel declines.
inline void preferHugePages(void* data, size_t bytes) {
    constexpr size_t kPage = 4096;
    constexpr size_t kWorthIt = size_t{32} << 20;
    if (!data || bytes < kWorthIt) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}
