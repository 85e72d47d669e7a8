// The blocks of a parallel pass, handed out so that each thread works
// through a contiguous share of its own while it can, and a thread that is
// done takes the others' remaining blocks one at a time. On an idle machine
// each thread keeps to its share, so a pass that reads what the pass before
// it wrote finds the data in the cache of the core that wrote it; a thread
// the system has descheduled holds up at most the block it holds.
//
// Which thread runs a block varies from run to run; every block is run
// exactly once.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>

class ShareClaims {
public:
    static constexpr int kMaxShares = 64;

    // `blocks` in `shares` contiguous shares (1: every thread claims in
    // order from the first block, for passes that need that order).
    ShareClaims(int64_t blocks, int shares) : shares_(std::clamp(shares, 1, kMaxShares)) {
        for (int s = 0; s < shares_; ++s) {
            next_[s].value.store(blocks * s / shares_, std::memory_order_relaxed);
            end_[s] = blocks * (s + 1) / shares_;
        }
    }
    ShareClaims(const ShareClaims&) = delete;
    ShareClaims& operator=(const ShareClaims&) = delete;

    // The next block for thread t: its own share's first, then the others'
    // in turn; -1 once every block is taken.
    int64_t next(int t) {
        for (int k = 0; k < shares_; ++k) {
            const int s = (t + k) % shares_;
            std::atomic<int64_t>& next = next_[s].value;
            if (next.load(std::memory_order_relaxed) >= end_[s]) continue;
            const int64_t b = next.fetch_add(1, std::memory_order_relaxed);
            if (b < end_[s]) return b;
        }
        return -1;
    }

private:
    struct alignas(64) Counter {
        std::atomic<int64_t> value;
    };
    Counter next_[kMaxShares];
    int64_t end_[kMaxShares];
    int shares_;
};
