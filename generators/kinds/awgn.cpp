#include "awgn.h"

#include <omp.h>

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

#include "blockPipeline.h"
#include "buffer.h"
#include "counterRandom.h"
#include "filterDesign.h"
#include "floatRounding.h"
#include "gaussianNoise.h"
#include "genSignalClass.h"
#include "hugePages.h"
#include "lastError.h"
#include "loopClosing.h"
#include "noiseFilter.h"
#include "planCount.h"
#include "polarDraws.h"
#include "rangeChecks.h"

namespace {

constexpr int kTaps = noise::kTaps;
constexpr int kOverlap = kTaps - 1;  // raw samples an output reads beyond its own
constexpr int64_t kBlock = 8192;     // outputs per block, in either mode

// Drawn in pairs, real part first: each sample carries both values of one
// accepted polar pair.
inline std::complex<float> drawSample() {
    const float re = static_cast<float>(randn());
    const float im = static_cast<float>(randn());
    return {re, im};
}

// With no spare value pending, sample i is the pair of the i-th accepted
// attempt: only the draws need the calling thread, so a raw sample's slot
// first holds the attempt's two rand() results and becomes the pair later,
// on any thread. Otherwise the slot holds the sample itself.
class RawSlots {
public:
    RawSlots() : attempts_(!randnSparePending()) {}
    void draw(std::complex<float>* slot) const {
        if (!attempts_) {
            *slot = drawSample();
            return;
        }
        int r[2];
        drawAcceptedAttempt(&r[0], &r[1]);
        std::memcpy(static_cast<void*>(slot), r, sizeof r);
    }
    // The sample a slot stands for, widened to double.
    void widen(const std::complex<float>& slot, double* re, double* im) const {
        if (!attempts_) {
            *re = slot.real();
            *im = slot.imag();
            return;
        }
        int r[2];
        std::memcpy(r, &slot, sizeof r);
        double x, y;
        polarPair(r[0], r[1], &x, &y);
        *re = keptFloat(x);
        *im = keptFloat(y);
    }

private:
    bool attempts_;
};
static_assert(sizeof(std::complex<float>) == 2 * sizeof(int), "an attempt's draws fit a sample's slot");

// The noise filtered over raw samples, block by block on every thread:
// output j sums taps k over raw sample (j + k) mod rawCount (rawCount is
// N + 127 for the filter's start-up span, N around the loop). `scratch`
// holds a window per thread of the team and the taps after them.
void filterRaw(const AwgnPlan& plan, int64_t n, int64_t rawCount, int team, double* scratch,
               const std::complex<float>* raw, std::complex<float>* out) {
    const size_t window = 2 * static_cast<size_t>(kBlock + kOverlap);
    double* const h = scratch + window * static_cast<size_t>(team);
    noiseFilterTaps(plan.cutoff, kTaps, h);
    const int64_t blocks = (n + kBlock - 1) / kBlock;
#pragma omp parallel num_threads(team) if (team > 1)
    {
        double* const w = scratch + window * static_cast<size_t>(omp_get_thread_num());
#pragma omp for schedule(static)
        for (int64_t b = 0; b < blocks; ++b) {
            const int64_t first = b * kBlock, count = std::min(n, first + kBlock) - first;
            for (int64_t i = 0; i < count + kOverlap; ++i) {
                const std::complex<float> v = raw[(first + i) % rawCount];
                w[2 * i] = v.real();
                w[2 * i + 1] = v.imag();
            }
            noise::filterWindow(w, h, static_cast<int>(count), out + first);
        }
    }
}

// The counter's stage word for the noise kind's draws: apart from the
// channel's stages (1 to 4), so that a waveform and the channel's noise
// under one seed never share a draw. Part of what a seed means.
constexpr uint32_t kStageNoiseKind = 256;
constexpr int kDrawChunk = 256;

// Raw sample i is the counter's complex Gaussian value at index i of the
// stream, of unit power: a pure function of the seed, the stream and i, so
// any thread makes any chunk.
void counterDraws(uint64_t seed, uint32_t stream, int64_t count, int team, std::complex<float>* raw) {
    const int64_t chunks = (count + kDrawChunk - 1) / kDrawChunk;
#pragma omp parallel for num_threads(team) if (team > 1) schedule(static)
    for (int64_t c = 0; c < chunks; ++c) {
        CounterBlock blocks[kDrawChunk];
        const int64_t first = c * kDrawChunk;
        const int m = static_cast<int>(std::min<int64_t>(kDrawChunk, count - first));
        counterBlocks(seed, kStageNoiseKind, stream, static_cast<uint64_t>(first), m, blocks);
        for (int i = 0; i < m; ++i) {
            float re, im;
            complexGaussianFrom(blocks[i], seed, kStageNoiseKind, stream, static_cast<uint64_t>(first + i), &re, &im);
            raw[first + i] = {re, im};
        }
    }
}

// The noise of either mode from the counter-based generator: N + 127 draws
// filtered as defined, or N draws filtered around the loop.
int counterNoise(const AwgnPlan& plan, const WaveSettings& settings, bool circular,
                 GeneratedWave<std::complex<float>>& wave) {
    const int64_t n = plan.samples;
    const int64_t rawCount = circular ? n : n + kOverlap;
    const size_t N = static_cast<size_t>(n);
    Buffer<std::complex<float>> raw(static_cast<size_t>(rawCount)), y(N);
    if (!raw || !y) return outOfMemory<std::complex<float>>(-3, N + static_cast<size_t>(rawCount), "noise samples");
    preferHugePages(y.get(), y.bytesFor(N));
    const int team = teamNowFor(n, 1 << 15);
    const size_t window = 2 * static_cast<size_t>(kBlock + kOverlap);
    Buffer<double> scratch(window * static_cast<size_t>(team) + kTaps);
    if (!scratch) return outOfMemory<double>(-3, window * team + kTaps, "noise filter windows");
    counterDraws(settings.noiseSeed, settings.noiseStream, rawCount, team, raw.get());
    if (n > 0) filterRaw(plan, n, rawCount, team, scratch.get(), raw.get(), y.get());
    wave.samples = std::move(y);
    wave.length = static_cast<int>(n);
    return 0;
}

}  // namespace

int planAwgn(const AWGNParams& p, double sampleRate, AwgnPlan& plan) {
    countPlan();
    if (int rc = checkSampleRate(sampleRate)) return rc;
    // Any bandwidth above half the rate acts as half the rate, infinity too.
    const double bandwidth = p.bandwidth;
    if (!(bandwidth > 0)) return refuse(-1, "AWGNParams.bandwidth = %s: must be above 0", numberText(bandwidth).text);
    const double duration = p.duration;
    if (!finitePositive(duration))
        return refuse(-1, "AWGNParams.duration = %s: must be finite and above 0", numberText(duration).text);
    // Below 2^30 samples, N + 127 stays in range too.
    const double length = std::floor(duration * sampleRate);
    if (!countFits(length)) return refuseLength(length);

    const double c = bandwidth / sampleRate;
    plan = {static_cast<int>(length), c > 0.5 ? 0.5 : c};
    return 0;
}

int GenSignalClass::genAWGNSig(AWGNParams const* params, double sampleRate, std::complex<float>* samples,
                               int* sampleCount) {
    return fillForCaller<AwgnPlan>(
        "genAWGNSig", params, samples, sampleCount, [&](AwgnPlan& plan) { return planAwgn(*params, sampleRate, plan); },
        [&](const AwgnPlan& plan, std::complex<float>* s) { return genAWGNSig(plan, s); });
}

int GenSignalClass::genAWGNSig(const AwgnPlan& plan, std::complex<float>* samples) {
    // The raw noise is not kept in an array of its own: block b's raw
    // samples (or their draws, see RawSlots) go into its own outputs, and the
    // 127 that its last outputs read beyond it (the next block's first, or
    // the final 127) into `ahead`, since the next block may be filtered
    // first. Each block is then filtered from a widened copy into its
    // outputs. Everything is allocated before the first draw, so that a
    // failure leaves the noise stream where it was.
    const int64_t n = plan.samples;
    const SampleBlocks blocks(n, kBlock);
    const int team = blocks.team;
    const size_t aheadCount = static_cast<size_t>(std::max<int64_t>(blocks.count, 1)) * kOverlap;
    Buffer<std::complex<float>> ahead(aheadCount);
    if (!ahead) return outOfMemory<std::complex<float>>(-1, aheadCount, "noise blocks' overlap");
    const size_t windowDoubles = 2 * static_cast<size_t>(kBlock + kOverlap);
    const size_t scratchCount = static_cast<size_t>(team) * windowDoubles + kTaps;
    Buffer<double> scratch(scratchCount);
    if (!scratch) return outOfMemory<double>(-1, scratchCount, "noise filter's windows");
    preferHugePages(samples, sizeof(std::complex<float>) * static_cast<size_t>(n));

    double* h = scratch.get() + static_cast<size_t>(team) * windowDoubles;
    noiseFilterTaps(plan.cutoff, kTaps, h);

    const RawSlots slots;
    if (n == 0) {  // the 127 start-up samples are drawn all the same
        std::complex<float> unused;
        for (int i = 0; i < kOverlap; ++i) slots.draw(&unused);
        return 0;
    }
    std::complex<float>* const y = samples;
    std::complex<float>* const over = ahead.get();
    auto first = [&](int64_t b) { return blocks.first(b); };
    auto last = [&](int64_t b) { return blocks.last(b); };
    runBlockPipeline(
        blocks.count, team, 1,
        // The draws, in order on the calling thread.
        [&](int64_t b) {
            for (int64_t i = first(b); i < last(b); ++i) slots.draw(y + i);
            std::complex<float>* const previous = b > 0 ? over + (b - 1) * kOverlap : nullptr;
            if (b + 1 < blocks.count) {  // a whole block: the previous one reads its first 127
                if (previous) std::memcpy(static_cast<void*>(previous), y + first(b), sizeof(*y) * kOverlap);
                return;
            }
            std::complex<float>* const tail = over + b * kOverlap;
            for (int i = 0; i < kOverlap; ++i) slots.draw(tail + i);
            if (previous) {  // the last block may hold fewer than 127
                const int64_t own = std::min<int64_t>(last(b) - first(b), kOverlap);
                std::memcpy(static_cast<void*>(previous), y + first(b), sizeof(*y) * own);
                std::memcpy(static_cast<void*>(previous + own), tail, sizeof(*y) * (kOverlap - own));
            }
        },
        // The filter, on any thread, once the block and the next are drawn.
        [&](int64_t b) {
            double* const x = scratch.get() + static_cast<size_t>(omp_get_thread_num()) * windowDoubles;
            const int64_t count = last(b) - first(b);
            const std::complex<float>* raw = y + first(b);
            for (int64_t i = 0; i < count; ++i) slots.widen(raw[i], x + 2 * i, x + 2 * i + 1);
            const std::complex<float>* beyond = over + b * kOverlap;
            for (int i = 0; i < kOverlap; ++i) slots.widen(beyond[i], x + 2 * (count + i), x + 2 * (count + i) + 1);
            noise::filterWindow(x, h, static_cast<int>(count), y + first(b));
        });

    return 0;
}

template <>
int AwgnKind::plan(const Params& p, const KindCall& call, Plan& plan) {
    return planAwgn(p, call.sampleRate, plan);
}

template <>
NaturalPeriod AwgnKind::period(const Params& params, const KindCall& call) {
    return periodOfDuration(params.duration, call.sampleRate);
}

template <>
bool AwgnKind::aboveNyquist(const Params& params, double fs, BandReason& why) {
    const AWGNParams p = params;
    if (!(fs > 0) || !std::isfinite(fs) || !std::isfinite(p.bandwidth) || !(p.bandwidth > fs / 2)) return false;
    return say(why, "AWGNParams.bandwidth = %s: lies above half the sample rate, %s Hz, and acts as that",
               numberText(p.bandwidth).text, numberText(fs / 2).text);
}

template <>
int AwgnKind::generate(GenSignalClass& obj, const Plan& plan, const KindCall& call, GeneratedWave<Sample>& wave,
                       MadeLoop& made) {
    made.seam = "the noise is filtered from draws beyond its end, not around it";
    if (call.settings.noise == NoiseSource::channel) return counterNoise(plan, call.settings, false, wave);
    Buffer<Sample> x(static_cast<size_t>(plan.samples));
    if (!x) return outOfMemory<Sample>(-1, static_cast<size_t>(plan.samples), "samples");
    if (int rc = obj.genAWGNSig(plan, x.get())) return rc;
    wave.samples = std::move(x);
    wave.length = plan.samples;
    return 0;
}

template <>
int AwgnKind::loop(GenSignalClass&, const Params& p, const Plan& plan, const KindCall& call, const NaturalPeriod&,
                   GeneratedWave<Sample>& wave, MadeLoop& made) {
    int64_t n = 0;
    if (int rc = wholeSpan("AWGNParams.duration", offsetof(AWGNParams, duration), p.duration, call.sampleRate, n))
        return rc;
    if (n > kMaxLoopSamples)
        return refuse(-1, "AWGNParams.duration = %s: spans %lld samples, beyond the loop cap of 2^26",
                      numberText(p.duration).text, static_cast<long long>(n));
    made.periods = 1;
    AwgnPlan loopPlan = plan;
    loopPlan.samples = static_cast<int>(n);
    if (call.settings.noise == NoiseSource::channel) return counterNoise(loopPlan, call.settings, true, wave);
    const size_t N = static_cast<size_t>(n);
    Buffer<Sample> raw(N), y(N);
    if (!raw || !y) return outOfMemory<Sample>(-3, 2 * N, "noise samples");
    preferHugePages(y.get(), y.bytesFor(N));
    const int team = teamNowFor(n, 1 << 15);
    const size_t window = 2 * static_cast<size_t>(kBlock + kOverlap);
    Buffer<double> scratch(window * static_cast<size_t>(team) + kTaps);
    if (!scratch) return outOfMemory<double>(-3, window * team + kTaps, "noise filter windows");
    // Everything is allocated before the first draw: a refusal leaves the
    // noise stream where it was.
    for (int64_t i = 0; i < n; ++i) raw[i] = drawSample();
    filterRaw(plan, n, n, team, scratch.get(), raw.get(), y.get());
    wave.samples = std::move(y);
    wave.length = static_cast<int>(n);
    made.periods = 1;
    return 0;
}
