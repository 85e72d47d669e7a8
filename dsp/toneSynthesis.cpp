#include "toneSynthesis.h"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "blockPipeline.h"
#include "buffer.h"
#include "toneSynthesisKernels.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr int64_t kTableFloats = 1 << 17;  // both table halves together stay within 512 KiB
constexpr int64_t kMinBlock = 256, kMaxBlock = 4096;
constexpr int64_t kWorkPerThread = 1 << 18;  // tone terms below which one thread does all

// e^(i (2 pi r / M + phi)), r < M.
std::complex<double> unitAt(int64_t r, int64_t M, double phi) {
    double s, c;
    ::sincos(kTwoPi * static_cast<double>(r) / static_cast<double>(M) + phi, &s, &c);
    return {c, s};
}

int64_t reduced(int64_t c, int64_t M) { return ((c % M) + M) % M; }

}  // namespace

int synthesizeTones(const ToneSet& t, std::complex<float>* out) {
    const int N = t.count;
    const int64_t M = t.samples;
    if (N < 1 || M < 1) return 0;
    const int H = N / 2;  // pairs: tone N - H + j at +c, tone H - 1 - j at -c
    const bool lone = N % 2 == 1;
    for (int j = 0; j < H; ++j)
        if (t.cycles[N - H + j] != -t.cycles[H - 1 - j]) return refuse(-1, "the tones are not symmetric about 0 Hz");
    if (lone && t.cycles[H] != 0) return refuse(-1, "the middle tone is not at 0 Hz");
    // Samples per block: as many as keep the table within cache, whole
    // groups of the kernel.
    int64_t block = std::clamp<int64_t>(kTableFloats / 2 / std::max(H, 1), kMinBlock, kMaxBlock);
    block = std::min(block, (M + tones::kGroup - 1) / tones::kGroup * tones::kGroup);
    block -= block % tones::kGroup;
    const size_t tableFloats = static_cast<size_t>(H) * static_cast<size_t>(block);
    Buffer<float> tableRe(tableFloats), tableIm(tableFloats);
    if (!tableRe || !tableIm) return outOfMemory<float>(-3, 2 * tableFloats, "tone tables");

    const int64_t blocks = (M + block - 1) / block;
    const int team = teamFor(M * std::max(H, 1), kWorkPerThread);
    const size_t perThread = 4 * static_cast<size_t>(H) + 2 * tones::kGroup;
    Buffer<float> scratch(perThread * static_cast<size_t>(team));
    if (!scratch) return outOfMemory<float>(-3, perThread * team, "tone block starts");

    float* const re = tableRe.get();
    float* const im = tableIm.get();
#pragma omp parallel num_threads(team) if (team > 1)
    {
#pragma omp for schedule(static)
        for (int j = 0; j < H; ++j) {
            const int64_t c = reduced(t.cycles[N - H + j], M);
            int64_t r = 0;  // c * u mod M, stepped
            for (int64_t u = 0; u < block; ++u) {
                const std::complex<double> e = unitAt(r, M, 0.0);
                re[j * block + u] = static_cast<float>(e.real());
                im[j * block + u] = static_cast<float>(e.imag());
                r += c;
                if (r >= M) r -= M;
            }
        }
        float* const start = scratch.get() + perThread * omp_get_thread_num();
        float* const sumRe = start + 4 * H;
        float* const sumIm = sumRe + tones::kGroup;
#pragma omp for schedule(static)
        for (int64_t b = 0; b < blocks; ++b) {
            const int64_t m0 = b * block;
            auto startOf = [&](int k) {
                const int64_t r = static_cast<int64_t>(static_cast<unsigned __int128>(reduced(t.cycles[k], M)) * m0 % M);
                return unitAt(r, M, t.phases[k]);
            };
            for (int j = 0; j < H; ++j) {
                const std::complex<double> plus = startOf(N - H + j), minus = startOf(H - 1 - j);
                const std::complex<double> a = plus + minus, d = plus - minus;
                float* s = start + 4 * j;
                s[0] = static_cast<float>(a.real());
                s[1] = static_cast<float>(a.imag());
                s[2] = static_cast<float>(d.real());
                s[3] = static_cast<float>(d.imag());
            }
            const std::complex<double> dc = lone ? startOf(H) : std::complex<double>(0, 0);
            const int64_t end = std::min(M, m0 + block);
            for (int64_t u0 = 0; m0 + u0 < end; u0 += tones::kGroup) {
                tones::sumGroup({start, static_cast<float>(dc.real()), static_cast<float>(dc.imag()), re + u0, im + u0,
                                 block, H, sumRe, sumIm});
                const int64_t valid = std::min<int64_t>(tones::kGroup, end - m0 - u0);
                for (int64_t l = 0; l < valid; ++l) out[m0 + u0 + l] = {sumRe[l], sumIm[l]};
            }
        }
    }
    return 0;
}
