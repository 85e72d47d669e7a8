#include "additiveNoise.h"

#include <cmath>

#include "blockPasses.h"
#include "channelStages.h"
#include "counterRandom.h"

namespace {

// Draws of samples [first, last) into out[0, last - first), in runs whose
// counter blocks come from one pass.
void draw(uint64_t seed, int64_t first, int64_t last, std::complex<float>* out) {
    constexpr int kRun = 256;
    CounterBlock blocks[kRun];
    for (int64_t at = first; at < last; at += kRun) {
        const int count = static_cast<int>(last - at < kRun ? last - at : kRun);
        counterBlocks(seed, kStageNoise, 0, static_cast<uint64_t>(at), count, blocks);
        for (int j = 0; j < count; ++j) {
            float re, im;
            complexGaussianFrom(blocks[j], seed, kStageNoise, 0, static_cast<uint64_t>(at + j), &re, &im);
            out[at - first + j] = {re, im};
        }
    }
}

}  // namespace

bool binInBand(int64_t k, int64_t n, double sampleRate, double bandwidthHz) {
    const int64_t signedBin = k > (n - 1) / 2 ? k - n : k;
    return std::fabs(static_cast<double>(signedBin) * sampleRate / static_cast<double>(n)) <= bandwidthHz / 2;
}

NoiseRealised addNoise(uint64_t seed, double targetPower, double bandwidthHz, double sampleRate, std::complex<float>* x,
                       std::complex<float>* scratch, int64_t n, const SplitDft<float>* forward, int team,
                       double* partial) {
    NoiseRealised out;
    const int64_t blocks = passBlocks(n);
    forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t) { draw(seed, first, last, scratch + first); });
    double drawn;
    if (bandwidthHz > 0) {
        // The drawn noise's power in the band, from its spectrum: (1/n^2) sum |W_k|^2.
        forward->execute(scratch);
        forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t b) {
            double s = 0;
            for (int64_t slot = first; slot < last; ++slot)
                if (binInBand(forward->slotBin(slot), n, sampleRate, bandwidthHz))
                    s += std::norm(std::complex<double>(scratch[slot]));
            partial[b] = s;
        });
        drawn = sumInOrder(partial, blocks) / (static_cast<double>(n) * static_cast<double>(n));
    } else {
        drawn = meanPower(scratch, n, team, partial);
    }
    const double gain = std::sqrt(targetPower / drawn);
    const bool redraw = bandwidthHz > 0;
    forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t b) {
        // The transform took the draws' place: they are made again, a block at a time, over it.
        if (redraw) draw(seed, first, last, scratch + first);
        double s = 0;
        for (int64_t m = first; m < last; ++m) {
            const std::complex<float> w = scratch[m];
            const float re = static_cast<float>(gain * w.real()), im = static_cast<float>(gain * w.imag());
            s += static_cast<double>(re) * re + static_cast<double>(im) * im;
            x[m] = {x[m].real() + re, x[m].imag() + im};
        }
        partial[b] = s;
    });
    out.fullPower = sumInOrder(partial, blocks) / static_cast<double>(n);
    out.bandPower = bandwidthHz > 0 ? gain * gain * drawn : out.fullPower;
    return out;
}
