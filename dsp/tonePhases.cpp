#include "tonePhases.h"

#include "mathConstants.h"

namespace {

// splitmix64: the k-th value of the stream that starts at `seed`, so tone k
// draws the same phase whatever the tone count.
uint64_t mixed(uint64_t seed, uint64_t k) {
    uint64_t z = seed + (k + 1) * 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

}  // namespace

double tonePhase(TonePhases law, int64_t k, int64_t N, uint64_t seed) {
    const int64_t twoN = 2 * N;
    switch (law) {
        case TonePhases::newman: {
            const int64_t r = static_cast<int64_t>((static_cast<unsigned __int128>(k) * k) % twoN);
            return kPi * static_cast<double>(r) / static_cast<double>(N);
        }
        case TonePhases::schroeder: {
            const int64_t r = static_cast<int64_t>((static_cast<unsigned __int128>(k) * (k + 1)) % twoN);
            return -kPi * static_cast<double>(r) / static_cast<double>(N);
        }
        case TonePhases::random:
            // 53 random bits as a fraction of a turn.
            return 2 * kPi * (static_cast<double>(mixed(seed, static_cast<uint64_t>(k)) >> 11) * 0x1p-53);
        case TonePhases::zero: break;
    }
    return 0;
}
