#include "heapWatch.h"

#include <atomic>
#include <cstdint>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GENSIGNAL_FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define GENSIGNAL_FUZZ_ASAN 1
#endif

#ifdef GENSIGNAL_FUZZ_ASAN
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else  // gcc ships the runtime's hooks without their header
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t), void (*)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void*);
}
#endif
#endif

namespace fuzzing {

namespace {

// Signed: memory allocated before the watch and freed during it counts
// negative. OpenMP worker threads allocate too, hence the atomics.
std::atomic<int64_t> held{0};
std::atomic<int64_t> peak{0};
std::atomic<bool> watching{false};

#ifdef GENSIGNAL_FUZZ_ASAN
void onMalloc(const volatile void*, size_t size) {
    if (!watching.load(std::memory_order_relaxed)) return;
    const int64_t now = held.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed) + size;
    int64_t seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

void onFree(const volatile void* p) {
    if (!watching.load(std::memory_order_relaxed) || !p) return;
    held.fetch_sub(static_cast<int64_t>(__sanitizer_get_allocated_size(const_cast<const void*>(p))),
                   std::memory_order_relaxed);
}

bool installHooks() { return __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0; }
#else
bool installHooks() { return false; }
#endif

}  // namespace

bool HeapWatch::available() {
    static const bool installed = installHooks();
    return installed;
}

HeapWatch::HeapWatch() {
    if (!available()) return;
    held = 0;
    peak = 0;
    watching = true;
}

HeapWatch::~HeapWatch() { watching = false; }

size_t HeapWatch::peakGrowth() const { return static_cast<size_t>(peak.load()); }

}  // namespace fuzzing
