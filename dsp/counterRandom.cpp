#include "counterRandom.h"

#include <cmath>
#include <cstdint>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "cpuDispatch.h"
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

namespace {

// The ziggurat's layers: X[0] = V / f(R) (the base layer with the tail),
// X[1] = R, X[i] from equal areas V, X[128] = 0; ratio[i] = X[i+1] / X[i].
constexpr int kLayers = 128;
constexpr double kTailStart = 3.442619855899;
constexpr double kLayerArea = 9.91256303526217e-3;

struct Ziggurat {
    double x[kLayers + 1];
    double ratio[kLayers];
    Ziggurat() {
        double f = std::exp(-0.5 * kTailStart * kTailStart);
        x[0] = kLayerArea / f;
        x[1] = kTailStart;
        x[kLayers] = 0;
        for (int i = 2; i < kLayers; ++i) {
            x[i] = std::sqrt(-2 * std::log(kLayerArea / x[i - 1] + f));
            f = std::exp(-0.5 * x[i] * x[i]);
        }
        for (int i = 0; i < kLayers; ++i) ratio[i] = x[i + 1] / x[i];
    }
};

const Ziggurat& ziggurat() {
    static const Ziggurat z;  // thread-safe, made once, no allocation
    return z;
}

// 64-bit draws for the retries of one value: blocks at attempts
// `attempt`, attempt + 2, ..., two draws from each.
class Retries {
public:
    Retries(uint64_t seed, uint32_t stage, uint32_t stream, uint64_t index, uint32_t attempt)
        : seed_(seed), stage_(stage), stream_(stream), index_(index), attempt_(attempt) {}
    uint64_t next() {
        if (used_ == 2) {
            block_ = counterBlock(seed_, stage_ | (attempt_ << 16), stream_, index_);
            attempt_ += 2;
            used_ = 0;
        }
        const uint64_t v = (static_cast<uint64_t>(block_.w[2 * used_]) << 32) | block_.w[2 * used_ + 1];
        ++used_;
        return v;
    }

private:
    uint64_t seed_;
    uint32_t stage_, stream_;
    uint64_t index_;
    uint32_t attempt_;
    CounterBlock block_{};
    int used_ = 2;
};

double unitOf(uint64_t v) { return (static_cast<double>(v >> 11) + 0.5) * 0x1p-53; }

// A standard normal value from the draw v, drawing again from `more` when
// v falls outside its layer's core (about 1.2 % of draws).
double normalFrom(const Ziggurat& z, uint64_t v, Retries& more) {
    for (;;) {
        const int i = static_cast<int>(v & (kLayers - 1));
        const double u = 2 * unitOf(v) - 1;
        if (std::fabs(u) < z.ratio[i]) return u * z.x[i];
        if (i == 0) {  // the tail beyond R
            double t, y;
            do {
                t = std::log(unitOf(more.next())) / kTailStart;
                y = std::log(unitOf(more.next()));
            } while (-2 * y < t * t);
            return u < 0 ? t - kTailStart : kTailStart - t;
        }
        const double x = u * z.x[i];
        const double f0 = std::exp(-0.5 * (z.x[i] * z.x[i] - x * x));
        const double f1 = std::exp(-0.5 * (z.x[i + 1] * z.x[i + 1] - x * x));
        if (f1 + unitOf(more.next()) * (f0 - f1) < 1.0) return x;
        v = more.next();
    }
}

// The value of draw v when it lies in its layer's core, else NaN.
inline double coreValue(const Ziggurat& z, uint64_t v) {
    const int i = static_cast<int>(v & (kLayers - 1));
    const double u = 2 * unitOf(v) - 1;
    return std::fabs(u) < z.ratio[i] ? u * z.x[i] : std::numeric_limits<double>::quiet_NaN();
}

constexpr double kHalfPowerRail = 0.70710678118654752;  // sqrt(1/2)

}  // namespace

void complexGaussianFrom(const CounterBlock& b, uint64_t seed, uint32_t stage, uint32_t stream, uint64_t index,
                         float* re, float* im) {
    const Ziggurat& z = ziggurat();
    const uint64_t first = (static_cast<uint64_t>(b.w[0]) << 32) | b.w[1];
    const uint64_t second = (static_cast<uint64_t>(b.w[2]) << 32) | b.w[3];
    double x = coreValue(z, first), y = coreValue(z, second);
    if (std::isnan(x)) {
        Retries more(seed, stage, stream, index, 1);
        x = normalFrom(z, first, more);
    }
    if (std::isnan(y)) {
        Retries more(seed, stage, stream, index, 2);
        y = normalFrom(z, second, more);
    }
    *re = static_cast<float>(x * kHalfPowerRail);
    *im = static_cast<float>(y * kHalfPowerRail);
}

void complexGaussian(uint64_t seed, uint32_t stage, uint32_t stream, uint64_t index, float* re, float* im) {
    complexGaussianFrom(counterBlock(seed, stage, stream, index), seed, stage, stream, index, re, im);
}

namespace {

void blocksGeneric(uint64_t seed, uint32_t stage, uint32_t stream, uint64_t first, int count, CounterBlock* out) {
    for (int j = 0; j < count; ++j) out[j] = counterBlock(seed, stage, stream, first + static_cast<uint64_t>(j));
}

#if GENSIGNAL_AVX2
// Eight counters at a time: the 32 x 32 -> 64-bit products of the even and
// the odd lanes by two vpmuludq, their halves put back in lane order.
GENSIGNAL_AVX2_TARGET void blocksAvx2(uint64_t seed, uint32_t stage, uint32_t stream, uint64_t first, int count,
                                      CounterBlock* out) {
    const __m256i m0 = _mm256_set1_epi64x(kMultiplier0), m1 = _mm256_set1_epi64x(kMultiplier1);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    int j = 0;
    for (; j + 8 <= count; j += 8) {
        const uint64_t base = first + static_cast<uint64_t>(j);
        // The low words of base + lane; the high word carries where they wrap.
        const __m256i low = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(base))), lanes);
        const __m256i wrapped =
            _mm256_cmpgt_epi32(_mm256_xor_si256(_mm256_set1_epi32(INT32_MIN),
                                                _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(base)))),
                               _mm256_xor_si256(_mm256_set1_epi32(INT32_MIN), low));
        __m256i c0 = low;
        __m256i c1 = _mm256_sub_epi32(_mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(base >> 32))), wrapped);
        __m256i c2 = _mm256_set1_epi32(static_cast<int>(stream));
        __m256i c3 = _mm256_set1_epi32(static_cast<int>(stage));
        uint32_t k0 = static_cast<uint32_t>(seed), k1 = static_cast<uint32_t>(seed >> 32);
        for (int round = 0; round < 10; ++round) {
            const __m256i e0 = _mm256_mul_epu32(c0, m0), o0 = _mm256_mul_epu32(_mm256_srli_epi64(c0, 32), m0);
            const __m256i e1 = _mm256_mul_epu32(c2, m1), o1 = _mm256_mul_epu32(_mm256_srli_epi64(c2, 32), m1);
            const __m256i hi0 = _mm256_blend_epi32(_mm256_srli_epi64(e0, 32), o0, 0xAA);
            const __m256i lo0 = _mm256_blend_epi32(e0, _mm256_slli_epi64(o0, 32), 0xAA);
            const __m256i hi1 = _mm256_blend_epi32(_mm256_srli_epi64(e1, 32), o1, 0xAA);
            const __m256i lo1 = _mm256_blend_epi32(e1, _mm256_slli_epi64(o1, 32), 0xAA);
            c0 = _mm256_xor_si256(_mm256_xor_si256(hi1, c1), _mm256_set1_epi32(static_cast<int>(k0)));
            c1 = lo1;
            c2 = _mm256_xor_si256(_mm256_xor_si256(hi0, c3), _mm256_set1_epi32(static_cast<int>(k1)));
            c3 = lo0;
            k0 += kWeyl0;
            k1 += kWeyl1;
        }
        alignas(32) uint32_t w[4][8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(w[0]), c0);
        _mm256_store_si256(reinterpret_cast<__m256i*>(w[1]), c1);
        _mm256_store_si256(reinterpret_cast<__m256i*>(w[2]), c2);
        _mm256_store_si256(reinterpret_cast<__m256i*>(w[3]), c3);
        for (int l = 0; l < 8; ++l) out[j + l] = CounterBlock{{w[0][l], w[1][l], w[2][l], w[3][l]}};
    }
    blocksGeneric(seed, stage, stream, first + static_cast<uint64_t>(j), count - j, out + j);
}
#endif

}  // namespace

void counterBlocks(uint64_t seed, uint32_t stage, uint32_t stream, uint64_t first, int count, CounterBlock* out) {
#if GENSIGNAL_AVX2
    if (useAvx2()) return blocksAvx2(seed, stage, stream, first, count, out);
#endif
    blocksGeneric(seed, stage, stream, first, count, out);
}
