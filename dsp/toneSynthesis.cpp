#include "toneSynthesis.h"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "blockPipeline.h"
#include "buffer.h"
#include "mathConstants.h"
#include "toneSynthesisKernels.h"

namespace {

constexpr int64_t kTableFloats = 1 << 17;  // both table halves together stay within 512 KiB
constexpr int64_t kMaxBlock = 4096;
constexpr int64_t kWorkPerThread = 1 << 18;  // tone terms below which one thread does all

using cd = std::complex<double>;

// a * b, formed term by term in a fixed order.
cd times(cd a, cd b) { return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()}; }

// e^(2 pi i r / M) for any r < M as the product of a coarse and a fine
// root, each from the C library's sincos: two tables of about sqrt(M)
// entries instead of a sincos per value.
class UnitRoots {
public:
    explicit UnitRoots(int64_t M) : M_(M), split_(static_cast<int64_t>(std::ceil(std::sqrt(static_cast<double>(M))))) {}
    int64_t coarseCount() const { return M_ / split_ + 1; }
    int64_t fineCount() const { return split_; }
    void fill(cd* coarse, cd* fine) const {
        for (int64_t i = 0; i < coarseCount(); ++i) coarse[i] = at(i * split_ % M_);
        for (int64_t j = 0; j < split_; ++j) fine[j] = at(j);
        coarse_ = coarse;
        fine_ = fine;
    }
    cd operator()(int64_t r) const { return times(coarse_[r / split_], fine_[r % split_]); }

private:
    cd at(int64_t r) const {
        double s, c;
        ::sincos(kTwoPi * static_cast<double>(r) / static_cast<double>(M_), &s, &c);
        return {c, s};
    }
    int64_t M_, split_;
    mutable const cd* coarse_ = nullptr;
    mutable const cd* fine_ = nullptr;
};

int64_t reduced(int64_t c, int64_t M) { return ((c % M) + M) % M; }

// Samples per block: about twice sqrt(M), so that the table (H per block
// sample) and the block starts (H per block) both cost little beside the
// sums (H per sample); at most what keeps the table within cache. Whole
// groups of the kernel.
int64_t blockLength(int64_t M, int H) {
    const int64_t groups = (M + tones::kGroup - 1) / tones::kGroup;
    int64_t block = static_cast<int64_t>(2 * std::sqrt(static_cast<double>(M)));
    block = std::min({block, kMaxBlock, std::max<int64_t>(tones::kGroup, kTableFloats / 2 / std::max(H, 1))});
    block = std::max<int64_t>(tones::kGroup, block / tones::kGroup * tones::kGroup);
    return std::min(block, groups * tones::kGroup);
}

// What every block shares: the unit roots, each tone's e^(i phi_k), and
// the table of the paired tones' phasors over one block.
struct ToneTables {
    const ToneSet& t;
    int64_t M, block;
    int H;
    const UnitRoots& roots;
    const cd* offsets;
    float* re;
    float* im;

    // Tone k's phasor at sample m0, its phase offset included.
    cd startOf(int k, int64_t m0) const {
        const int64_t r = static_cast<int64_t>(static_cast<unsigned __int128>(reduced(t.cycles[k], M)) * m0 % M);
        return times(roots(r), offsets[k]);
    }

    // Row j of the table: the upper tone of pair j over one block.
    void fillRow(int j) const {
        const int64_t c = reduced(t.cycles[t.count - H + j], M);
        int64_t r = 0;  // c * u mod M, stepped
        for (int64_t u = 0; u < block; ++u) {
            const cd e = roots(r);
            re[j * block + u] = static_cast<float>(e.real());
            im[j * block + u] = static_cast<float>(e.imag());
            r += c;
            if (r >= M) r -= M;
        }
    }

    // The samples of block b from the pairs' starts (sum and difference)
    // and the table; `start` holds 4 H + 2 groups of floats.
    void sumBlock(int64_t b, float* start, std::complex<float>* out) const {
        const int N = t.count;
        const int64_t m0 = b * block;
        float* const sumRe = start + 4 * H;
        float* const sumIm = sumRe + tones::kGroup;
        for (int j = 0; j < H; ++j) {
            const cd plus = startOf(N - H + j, m0), minus = startOf(H - 1 - j, m0);
            float* s = start + 4 * j;
            s[0] = static_cast<float>(plus.real() + minus.real());
            s[1] = static_cast<float>(plus.imag() + minus.imag());
            s[2] = static_cast<float>(plus.real() - minus.real());
            s[3] = static_cast<float>(plus.imag() - minus.imag());
        }
        const cd dc = N % 2 == 1 ? startOf(H, m0) : cd(0, 0);
        const int64_t end = std::min(M, m0 + block);
        for (int64_t u0 = 0; m0 + u0 < end; u0 += tones::kGroup) {
            tones::sumGroup({start, static_cast<float>(dc.real()), static_cast<float>(dc.imag()), re + u0, im + u0,
                             block, H, sumRe, sumIm});
            const int64_t valid = std::min<int64_t>(tones::kGroup, end - m0 - u0);
            for (int64_t l = 0; l < valid; ++l) out[m0 + u0 + l] = {sumRe[l], sumIm[l]};
        }
    }
};

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
    const int64_t block = blockLength(M, H);
    const size_t tableFloats = static_cast<size_t>(H) * static_cast<size_t>(block);
    Buffer<float> tableRe(tableFloats), tableIm(tableFloats);
    if (!tableRe || !tableIm) return outOfMemory<float>(-3, 2 * tableFloats, "tone tables");
    const UnitRoots roots(M);
    Buffer<cd> rootTables(static_cast<size_t>(roots.coarseCount() + roots.fineCount()));
    Buffer<cd> offsets(static_cast<size_t>(N));  // e^(i phi_k)
    if (!rootTables || !offsets) return outOfMemory<cd>(-3, rootTables.size() + N, "unit roots");
    roots.fill(rootTables.get(), rootTables.get() + roots.coarseCount());
    for (int k = 0; k < N; ++k) {
        double s, c;
        ::sincos(t.phases[k], &s, &c);
        offsets[k] = {c, s};
    }

    const int64_t blocks = (M + block - 1) / block;
    const int team = teamNowFor(M * std::max(H, 1), kWorkPerThread);
    const size_t perThread = 4 * static_cast<size_t>(H) + 2 * tones::kGroup;
    Buffer<float> scratch(perThread * static_cast<size_t>(team));
    if (!scratch) return outOfMemory<float>(-3, perThread * team, "tone block starts");

    const ToneTables tables{t, M, block, H, roots, offsets.get(), tableRe.get(), tableIm.get()};
#pragma omp parallel num_threads(team) if (team > 1)
    {
#pragma omp for schedule(static)
        for (int j = 0; j < H; ++j) tables.fillRow(j);
        float* const start = scratch.get() + perThread * omp_get_thread_num();
#pragma omp for schedule(static)
        for (int64_t b = 0; b < blocks; ++b) tables.sumBlock(b, start, out);
    }
    return 0;
}
