// The last step every peer job shares with ours: the peak magnitude, the
// scale to 32766 and the rounding to int16 I/Q; and the once-per-run rate
// of a peer job.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <mutex>

inline void toInt16(const std::complex<float>* y, unsigned n, int16_t* iq) {
    float peak = 0;
    for (unsigned i = 0; i < n; ++i) peak = std::max(peak, std::norm(y[i]));
    const float g = static_cast<float>(32766.0 / std::sqrt(static_cast<double>(peak)));
    for (unsigned i = 0; i < n; ++i) {
        iq[2 * i] = static_cast<int16_t>(std::lroundf(g * y[i].real()));
        iq[2 * i + 1] = static_cast<int16_t>(std::lroundf(g * y[i].imag()));
    }
}

// Output samples per second of `peer.run()` (which returns its sample
// count) over at least half a second, after one run to warm up.
template <class Peer>
double measureRate(Peer& peer) {
    peer.run();
    const auto start = std::chrono::steady_clock::now();
    double samples = 0, seconds = 0;
    do {
        samples += peer.run();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (seconds < 0.5);
    return samples / seconds;
}

// measureRate of a fresh Peer, taken once per run and shared by every
// benchmark that reports a ratio to it.
template <class Peer>
double onceRate() {
    static std::once_flag once;
    static double rate = 0;
    std::call_once(once, [] {
        Peer peer;
        rate = measureRate(peer);
    });
    return rate;
}
