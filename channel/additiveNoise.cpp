#include "additiveNoise.h"

#include <cmath>

#include "blockPasses.h"
#include "channelStages.h"
#include "counterRandom.h"

namespace {

std::complex<float> draw(uint64_t seed, int64_t m) {
    float re, im;
    complexGaussian(counterBlock(seed, kStageNoise, 0, static_cast<uint64_t>(m)), &re, &im);
    return {re, im};
}

}  // namespace

bool binInBand(int64_t k, int64_t n, double sampleRate, double bandwidthHz) {
    const int64_t signedBin = k > (n - 1) / 2 ? k - n : k;
    return std::fabs(static_cast<double>(signedBin) * sampleRate / static_cast<double>(n)) <= bandwidthHz / 2;
}

NoiseRealised addNoise(uint64_t seed, double targetPower, double bandwidthHz, double sampleRate,
                       std::complex<float>* x, std::complex<float>* scratch, int64_t n, const SplitDft* forward,
                       int team, double* partial) {
    NoiseRealised out;
    const int64_t blocks = passBlocks(n);
    forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t) {
        for (int64_t m = first; m < last; ++m) scratch[m] = draw(seed, m);
    });
    double drawn;
    if (bandwidthHz > 0) {
        // The drawn noise's power in the band, from its spectrum: (1/n^2) sum |W_k|^2.
        forward->execute(scratch);
        forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t b) {
            double s = 0;
            for (int64_t slot = first; slot < last; ++slot)
                if (binInBand(forward->slotBin(slot), n, sampleRate, bandwidthHz)) s += std::norm(std::complex<double>(scratch[slot]));
            partial[b] = s;
        });
        drawn = sumInOrder(partial, blocks) / (static_cast<double>(n) * static_cast<double>(n));
    } else {
        drawn = meanPower(scratch, n, team, partial);
    }
    const double gain = std::sqrt(targetPower / drawn);
    const bool redraw = bandwidthHz > 0;  // the transform took the draws' place
    forEachBlock(n, team, [&](int64_t first, int64_t last, int64_t b) {
        double s = 0;
        for (int64_t m = first; m < last; ++m) {
            const std::complex<float> w = redraw ? draw(seed, m) : scratch[m];
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
