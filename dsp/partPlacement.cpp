#include "partPlacement.h"

#include <algorithm>
#include <cmath>

#include <omp.h>

#include "buffer.h"
#include "cpuDispatch.h"
#include "mathConstants.h"
#include "sharedCores.h"

#if GENSIGNAL_AVX2
#include <immintrin.h>
#endif

namespace {

constexpr int64_t kBlock = 4096;

double carrierAngle(const PartCarrier& c, int64_t n, int64_t length) {
    if (c.whole) {
        // (cycles n) mod length in integers: cycles and n are below 2^26.
        int64_t k = c.cycles % length;
        if (k < 0) k += length;
        const int64_t r = (k * n) % length;
        return kTwoPi * (static_cast<double>(r) / static_cast<double>(length)) + c.phase;
    }
    const double turns = c.cyclesPerSample * static_cast<double>(n);
    return kTwoPi * (turns - std::floor(turns)) + c.phase;
}

// The part's sample index for loop sample n: ((n - delay) mod length) mod
// partLength, stepped sample by sample from there.
struct PartIndex {
    int64_t m = 0, partLength = 1;
    int64_t loopIndex = 0;  // (n - delay) mod length
    int64_t length = 1;
    PartIndex() = default;
    PartIndex(int64_t n, int64_t d, int64_t len, int64_t partLen) : partLength(partLen), length(len) {
        loopIndex = n - d;
        if (loopIndex < 0) loopIndex += length;
        m = loopIndex % partLength;
    }
    void next() { skip(1); }
    // Steps before the next wrap of either index, and `k` steps of at most that.
    int64_t steady() const { return std::min(length - loopIndex, partLength - m); }
    void skip(int64_t k) {
        loopIndex += k;
        m += k;
        if (loopIndex == length) {
            loopIndex = 0;
            m = 0;
        } else if (m == partLength) {
            m = 0;
        }
    }
};

int64_t delayOf(int64_t delay, int64_t length) {
    int64_t d = delay % length;
    return d < 0 ? d + length : d;
}

}  // namespace

void placePart(const std::complex<float>* part, int64_t partLength, int64_t length, int64_t delay, float gain,
               const BurstPattern& bursts, std::complex<float>* out) {
    const int64_t d = delayOf(delay, length);
    const int64_t blocks = (length + kBlock - 1) / kBlock;
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t b = 0; b < blocks; ++b) {
        const int64_t lo = b * kBlock, hi = lo + kBlock < length ? lo + kBlock : length;
        PartIndex at(lo, d, length, partLength);
        for (int64_t n = lo; n < hi; ++n, at.next()) {
            const float g = bursts.bursts() ? gain * burstGain(bursts, n) : gain;
            out[n] = part[at.m] * g;
        }
    }
}

void addRotated(const std::complex<float>* x, int64_t length, const PartCarrier& carrier, std::complex<double>* sum) {
    const int64_t blocks = (length + kBlock - 1) / kBlock;
    const double step = carrierAngle(carrier, 1, length) - carrier.phase;
    const double sc = std::cos(step), ss = std::sin(step);
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t b = 0; b < blocks; ++b) {
        const int64_t lo = b * kBlock, hi = lo + kBlock < length ? lo + kBlock : length;
        const double a0 = carrierAngle(carrier, lo, length);
        double tc = std::cos(a0), ts = std::sin(a0);
        for (int64_t n = lo; n < hi; ++n) {
            const double re = x[n].real(), im = x[n].imag();
            sum[n] += std::complex<double>(re * tc - im * ts, re * ts + im * tc);
            const double nc = tc * sc - ts * ss;
            ts = tc * ss + ts * sc;
            tc = nc;
        }
    }
}

namespace {

// The G parts' phasors and steps at sample lo, and their indices there.
template <int G>
struct GroupStart {
    alignas(32) double tc[G], ts[G], sc[G], ss[G];
    PartIndex at[G];
    GroupStart(const PlacedPart* parts, int64_t lo, int64_t length) {
        for (int g = 0; g < G; ++g) {
            const PlacedPart& p = parts[g];
            const double step = carrierAngle(p.carrier, 1, length) - p.carrier.phase;
            sc[g] = std::cos(step);
            ss[g] = std::sin(step);
            const double a0 = carrierAngle(p.carrier, lo, length);
            tc[g] = std::cos(a0);
            ts[g] = std::sin(a0);
            at[g] = PartIndex(lo, delayOf(p.delay, length), length, p.partLength);
        }
    }
};

// Up to G parts added to samples [lo, hi) in `block` (block[0] is sample
// lo), their carriers stepped side by side: each part's phasor is a chain
// of dependent products, and G chains at once keep the core busy where one
// would leave it waiting. Each sample still gets its parts in their order.
template <int G>
void addGroup(const PlacedPart* parts, int64_t lo, int64_t hi, int64_t length, std::complex<double>* block) {
    GroupStart<G> start(parts, lo, length);
    double* tc = start.tc;
    double* ts = start.ts;
    const double* sc = start.sc;
    const double* ss = start.ss;
    PartIndex* at = start.at;
    for (int64_t n = lo; n < hi; ++n) {
        double sr = block[n - lo].real(), si = block[n - lo].imag();
        for (int g = 0; g < G; ++g) {
            const std::complex<float> v = parts[g].part[at[g].m] * parts[g].gain;
            const double re = v.real(), im = v.imag();
            sr += re * tc[g] - im * ts[g];
            si += re * ts[g] + im * tc[g];
            const double nc = tc[g] * sc[g] - ts[g] * ss[g];
            ts[g] = tc[g] * ss[g] + ts[g] * sc[g];
            tc[g] = nc;
            at[g].next();
        }
        block[n - lo] = {sr, si};
    }
}

#if GENSIGNAL_AVX2

// addGroup<4> with the four carriers in the lanes of one register: the
// same products and sums lane by lane, each sample's parts still added in
// their order. The samples go in runs over which no part's index wraps, so
// each part is read straight along.
GENSIGNAL_AVX2_TARGET void addGroup4Avx2(const PlacedPart* parts, int64_t lo, int64_t hi, int64_t length,
                                         std::complex<double>* block) {
    GroupStart<4> start(parts, lo, length);
    PartIndex* at = start.at;
    __m256d tc = _mm256_load_pd(start.tc), ts = _mm256_load_pd(start.ts);
    const __m256d sc = _mm256_load_pd(start.sc), sn = _mm256_load_pd(start.ss);
    const __m128 gainLo = _mm_setr_ps(parts[0].gain, parts[0].gain, parts[1].gain, parts[1].gain);
    const __m128 gainHi = _mm_setr_ps(parts[2].gain, parts[2].gain, parts[3].gain, parts[3].gain);
    double* out = reinterpret_cast<double*>(block);
    for (int64_t n = lo; n < hi;) {
        int64_t run = hi - n;
        for (int g = 0; g < 4; ++g) run = std::min(run, at[g].steady());
        const float* x[4];
        for (int g = 0; g < 4; ++g) x[g] = reinterpret_cast<const float*>(parts[g].part + at[g].m);
        for (int64_t i = 0; i < run; ++i) {
            const __m128 a = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(x[0] + 2 * i)),
                                          reinterpret_cast<const __m64*>(x[1] + 2 * i));
            const __m128 b = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(x[2] + 2 * i)),
                                          reinterpret_cast<const __m64*>(x[3] + 2 * i));
            const __m128 va = _mm_mul_ps(a, gainLo), vb = _mm_mul_ps(b, gainHi);
            const __m256d re = _mm256_cvtps_pd(_mm_shuffle_ps(va, vb, _MM_SHUFFLE(2, 0, 2, 0)));
            const __m256d im = _mm256_cvtps_pd(_mm_shuffle_ps(va, vb, _MM_SHUFFLE(3, 1, 3, 1)));
            const __m256d cr = _mm256_sub_pd(_mm256_mul_pd(re, tc), _mm256_mul_pd(im, ts));
            const __m256d ci = _mm256_add_pd(_mm256_mul_pd(re, ts), _mm256_mul_pd(im, tc));
            const __m256d nc = _mm256_sub_pd(_mm256_mul_pd(tc, sc), _mm256_mul_pd(ts, sn));
            ts = _mm256_add_pd(_mm256_mul_pd(tc, sn), _mm256_mul_pd(ts, sc));
            tc = nc;
            // Parts 0 and 2, then 1 and 3, as (re, im) pairs; added in part order.
            const __m256d even = _mm256_unpacklo_pd(cr, ci), odd = _mm256_unpackhi_pd(cr, ci);
            double* o = out + 2 * (n - lo + i);
            __m128d sum = _mm_loadu_pd(o);
            sum = _mm_add_pd(sum, _mm256_castpd256_pd128(even));
            sum = _mm_add_pd(sum, _mm256_castpd256_pd128(odd));
            sum = _mm_add_pd(sum, _mm256_extractf128_pd(even, 1));
            sum = _mm_add_pd(sum, _mm256_extractf128_pd(odd, 1));
            _mm_storeu_pd(o, sum);
        }
        for (int g = 0; g < 4; ++g) at[g].skip(run);
        n += run;
    }
}

#endif

using GroupPass = void (*)(const PlacedPart*, int64_t, int64_t, int64_t, std::complex<double>*);
constexpr GroupPass kGroups[] = {addGroup<1>, addGroup<2>, addGroup<3>, addGroup<4>};

// Every part, group after group, over the sum's block [lo, hi), which stays in cache.
void addBlock(const PlacedPart* parts, int count, int64_t lo, int64_t hi, int64_t length, std::complex<double>* block) {
#if GENSIGNAL_AVX2
    const bool avx2 = useAvx2();
#endif
    for (int i = 0; i < count;) {
        const int g = count - i < 4 ? count - i : 4;
#if GENSIGNAL_AVX2
        if (g == 4 && avx2) {
            addGroup4Avx2(parts + i, lo, hi, length, block);
            i += g;
            continue;
        }
#endif
        kGroups[g - 1](parts + i, lo, hi, length, block);
        i += g;
    }
}

}  // namespace

void addPlaced(const PlacedPart* parts, int count, int64_t length, std::complex<double>* sum) {
    const int64_t blocks = (length + kBlock - 1) / kBlock;
#pragma omp parallel for schedule(static) num_threads(availableTeam())
    for (int64_t b = 0; b < blocks; ++b) {
        const int64_t lo = b * kBlock, hi = lo + kBlock < length ? lo + kBlock : length;
        addBlock(parts, count, lo, hi, length, sum + lo);
    }
}

int sumPlaced(const PlacedPart* parts, int count, int64_t length, std::complex<float>* out) {
    const int64_t blocks = (length + kBlock - 1) / kBlock;
    const int team = availableTeam();
    // Each thread's block of the sum in doubles, had before the region.
    const size_t scratchCount = static_cast<size_t>(team) * static_cast<size_t>(kBlock);
    Buffer<std::complex<double>> scratch(scratchCount);
    if (!scratch) return outOfMemory<std::complex<double>>(-3, scratchCount, "scene sum's blocks");
#pragma omp parallel num_threads(team)
    {
        std::complex<double>* block = scratch.get() + static_cast<size_t>(omp_get_thread_num()) * kBlock;
#pragma omp for schedule(static)
        for (int64_t b = 0; b < blocks; ++b) {
            const int64_t lo = b * kBlock, hi = lo + kBlock < length ? lo + kBlock : length;
            std::fill(block, block + kBlock, std::complex<double>(0, 0));
            addBlock(parts, count, lo, hi, length, block);
            for (int64_t n = lo; n < hi; ++n) {
                const std::complex<double> v = block[n - lo];
                out[n] = {static_cast<float>(v.real()), static_cast<float>(v.imag())};
            }
        }
    }
    return 0;
}
