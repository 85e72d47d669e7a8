#include "counterRandom.h"

#include <cmath>

#include "mathConstants.h"

namespace {

constexpr uint32_t kMultiplier0 = 0xD2511F53u;
constexpr uint32_t kMultiplier1 = 0xCD9E8D57u;
constexpr uint32_t kWeyl0 = 0x9E3779B9u;  // golden ratio
constexpr uint32_t kWeyl1 = 0xBB67AE85u;  // sqrt(3) - 1

}  // namespace

CounterBlock philox4x32(const uint32_t counter[4], const uint32_t key[2]) {
    uint32_t c0 = counter[0], c1 = counter[1], c2 = counter[2], c3 = counter[3];
    uint32_t k0 = key[0], k1 = key[1];
    for (int round = 0; round < 10; ++round) {
        const uint64_t p0 = static_cast<uint64_t>(kMultiplier0) * c0;
        const uint64_t p1 = static_cast<uint64_t>(kMultiplier1) * c2;
        const uint32_t hi0 = static_cast<uint32_t>(p0 >> 32), lo0 = static_cast<uint32_t>(p0);
        const uint32_t hi1 = static_cast<uint32_t>(p1 >> 32), lo1 = static_cast<uint32_t>(p1);
        c0 = hi1 ^ c1 ^ k0;
        c1 = lo1;
        c2 = hi0 ^ c3 ^ k1;
        c3 = lo0;
        k0 += kWeyl0;
        k1 += kWeyl1;
    }
    return CounterBlock{{c0, c1, c2, c3}};
}

CounterBlock counterBlock(uint64_t seed, uint32_t stage, uint32_t stream, uint64_t index) {
    const uint32_t counter[4] = {static_cast<uint32_t>(index), static_cast<uint32_t>(index >> 32), stream, stage};
    const uint32_t key[2] = {static_cast<uint32_t>(seed), static_cast<uint32_t>(seed >> 32)};
    return philox4x32(counter, key);
}

double openUnit(uint32_t high, uint32_t low) {
    const uint64_t bits = ((static_cast<uint64_t>(high) << 32) | low) >> 11;
    return (static_cast<double>(bits) + 0.5) * 0x1p-53;
}

double unitFrom32(uint32_t w) { return static_cast<double>(w) * 0x1p-32; }

void complexGaussian(const CounterBlock& b, float* re, float* im) {
    // sqrt(-log u) is the radius of a complex value of unit power.
    const double radius = std::sqrt(-std::log(openUnit(b.w[0], b.w[1])));
    const float angle = static_cast<float>(kTwoPi * unitFrom32(b.w[2]));
    float s, c;
    sincosf(angle, &s, &c);
    *re = static_cast<float>(radius * c);
    *im = static_cast<float>(radius * s);
}
