#include "periodicResampleKernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>

#include "cpuDispatch.h"

namespace periodic {

namespace {

// Where the run stands: the coefficient row of the current output (formed
// into `scratch` when interpolated) and the step to the next output.
struct Walker {
    explicit Walker(const KernelRun& run) : run_(run), base_(run.base), phase_(run.phase) {}

    const float* x() const { return run_.window + 2 * base_; }
    bool interpolated() const { return run_.difference != nullptr; }
    // Exact rows: the row itself.
    const float* row() const { return run_.rows + phase_ * run_.rowTaps; }
    // Interpolated rows: the two rows' start and the weight of the second.
    const float* lowerRow(float* f) const {
        const double u = static_cast<double>(phase_) * run_.rowsPerPhase;
        // u < rows - 1 in exact arithmetic; its rounding may reach the end.
        const int64_t s = std::min(static_cast<int64_t>(u), run_.lastRow);
        *f = static_cast<float>(u - static_cast<double>(s));
        return run_.rows + s * run_.rowTaps;
    }
    const float* differenceOf(const float* lower) const { return run_.difference + (lower - run_.rows); }
    void step() {
        base_ += run_.stepWhole;
        phase_ += run_.stepPhase;
        if (phase_ >= run_.q) {
            phase_ -= run_.q;
            ++base_;
        }
    }

private:
    const KernelRun& run_;
    int64_t base_, phase_;
};

}  // namespace

namespace generic {

namespace {

inline void fold(float* acc, float* out) {
    for (int l = 0; l < 16; ++l) acc[l] = acc[l] + acc[l + 16];
    for (int l = 0; l < 8; ++l) acc[l] = acc[l] + acc[l + 8];
    for (int l = 0; l < 4; ++l) acc[l] = acc[l] + acc[l + 4];
    out[0] = acc[0] + acc[2];
    out[1] = acc[1] + acc[3];
}

}  // namespace

// The stored index of the coefficient that float e of a round multiplies.
struct RoundOrder {
    int at[kLanes];
    constexpr RoundOrder() : at() {
        for (int e = 0; e < kLanes; ++e) at[e] = storedAt(e / 2);
    }
};
constexpr RoundOrder kOrder;

void resampleRun(const KernelRun& run) {
    Walker walk(run);
    const int taps = run.rowTaps;
    for (int64_t k = 0; k < run.count; ++k, walk.step()) {
        const float* x = walk.x();
        float acc[kLanes] = {};
        if (!walk.interpolated()) {
            const float* c = walk.row();
            for (int g = 0; g < taps; g += kTapGroup, x += kLanes, c += kTapGroup)
                for (int l = 0; l < kLanes; ++l) acc[l] = acc[l] + x[l] * c[kOrder.at[l]];
        } else {
            float f = 0;
            const float* t = walk.lowerRow(&f);
            const float* d = walk.differenceOf(t);
            for (int g = 0; g < taps; g += kTapGroup, x += kLanes, t += kTapGroup, d += kTapGroup)
                for (int l = 0; l < kLanes; ++l) {
                    const float c = t[kOrder.at[l]] + f * d[kOrder.at[l]];
                    acc[l] = acc[l] + x[l] * c;
                }
        }
        fold(acc, run.out + 2 * k);
    }
}

}  // namespace generic

#if defined(__x86_64__)
namespace avx2 {

namespace {

#define GS_AVX2 __attribute__((target("avx2,fma")))

GS_AVX2 inline void fold(__m256 a0, __m256 a1, __m256 a2, __m256 a3, float* out) {
    a0 = _mm256_add_ps(a0, a2);  // lanes l and l + 16
    a1 = _mm256_add_ps(a1, a3);
    a0 = _mm256_add_ps(a0, a1);                                                       // and l + 8
    __m128 s = _mm_add_ps(_mm256_castps256_ps128(a0), _mm256_extractf128_ps(a0, 1));  // and l + 4
    s = _mm_add_ps(s, _mm_movehl_ps(s, s));                                           // and l + 2
    _mm_storel_pi(reinterpret_cast<__m64*>(out), s);
}

// One round: 16 taps of stored coefficients ca (taps 0-7) and cb (8-15),
// unpacked into four registers of four taps each, twice.
GS_AVX2 inline void round16(const float* x, __m256 ca, __m256 cb, __m256& a0, __m256& a1, __m256& a2, __m256& a3) {
    a0 = _mm256_add_ps(a0, _mm256_mul_ps(_mm256_loadu_ps(x), _mm256_unpacklo_ps(ca, ca)));
    a1 = _mm256_add_ps(a1, _mm256_mul_ps(_mm256_loadu_ps(x + 8), _mm256_unpackhi_ps(ca, ca)));
    a2 = _mm256_add_ps(a2, _mm256_mul_ps(_mm256_loadu_ps(x + 16), _mm256_unpacklo_ps(cb, cb)));
    a3 = _mm256_add_ps(a3, _mm256_mul_ps(_mm256_loadu_ps(x + 24), _mm256_unpackhi_ps(cb, cb)));
}

}  // namespace

GS_AVX2 void resampleRun(const KernelRun& run) {
    Walker walk(run);
    const int taps = run.rowTaps;
    for (int64_t k = 0; k < run.count; ++k, walk.step()) {
        const float* x = walk.x();
        __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
        if (!walk.interpolated()) {
            const float* c = walk.row();
            for (int g = 0; g < taps; g += kTapGroup, x += kLanes, c += kTapGroup)
                round16(x, _mm256_loadu_ps(c), _mm256_loadu_ps(c + 8), a0, a1, a2, a3);
        } else {
            float f = 0;
            const float* t = walk.lowerRow(&f);
            const float* d = walk.differenceOf(t);
            const __m256 w = _mm256_set1_ps(f);
            for (int g = 0; g < taps; g += kTapGroup, x += kLanes, t += kTapGroup, d += kTapGroup) {
                const __m256 ca = _mm256_add_ps(_mm256_loadu_ps(t), _mm256_mul_ps(w, _mm256_loadu_ps(d)));
                const __m256 cb = _mm256_add_ps(_mm256_loadu_ps(t + 8), _mm256_mul_ps(w, _mm256_loadu_ps(d + 8)));
                round16(x, ca, cb, a0, a1, a2, a3);
            }
        }
        fold(a0, a1, a2, a3, run.out + 2 * k);
    }
}

#undef GS_AVX2

}  // namespace avx2
#endif

void resampleRun(const KernelRun& run) {
#if defined(__x86_64__)
    if (useAvx2()) {
        avx2::resampleRun(run);
        return;
    }
#endif
    generic::resampleRun(run);
}

}  // namespace periodic
