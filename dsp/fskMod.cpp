// Continuous-phase FSK: symbols become signed frequency levels, the levels
// are shaped into an instantaneous-frequency signal at the symbol-locked
// rate, resampled to the output rate and only then integrated into phase
// (fskPhase.h, in blocks, without the levels' zero-stuffed train).
#include "fskMod.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "buffer.h"
#include "farrow.h"
#include "fskPhase.h"
#include "genSignalClass.h"
#include "lastError.h"
#include "mathConstants.h"
#include "rangeChecks.h"
#include "sharedCores.h"

namespace {

// Below this many elements a per-element loop as cheap as these stays on
// the calling thread: a second thread costs more than it saves.
constexpr int kParallelMin = 1 << 18;

// Balance: move levels of the sum's sign one step at a time, cyclically
// over guard ... count - guard - 2, until the levels sum to zero.
int balanceLevels(short* symbols, int count, int guard) {
    double sum = 0;
    for (int i = 0; i < count; ++i) sum += symbols[i];
    const double half = sum / 2;
    if (std::fabs(half) < 1e-9) return 0;
    const int sigma = half > 0 ? 1 : -1;
    const double target = std::fabs(half);
    const int first = guard;
    const int stop = count - guard - 1;  // one past the last index the walk may change
    // The walk only ends if the middle range can absorb the whole
    // imbalance: a level v of the sum's sign can take ceil(|v| / 2) steps
    // before its sign flips. Refuse instead of walking forever.
    int64_t room = 0;
    for (int i = first; i < stop; ++i) {
        const int v = symbols[i] * sigma;
        if (v > 0) room += (v + 1) / 2;
    }
    if (static_cast<double>(room) < target)
        return refuse(-1,
                      "DigitalModFSK: the levels need %s balancing steps, the symbols between the guards allow %lld",
                      numberText(target).text, static_cast<long long>(room));
    int64_t changes = 0;
    for (int i = first;;) {
        if (symbols[i] * sigma > 0) {
            symbols[i] = static_cast<short>(symbols[i] - 2 * sigma);
            if (static_cast<double>(++changes) >= target) return 0;
        }
        if (++i == stop) i = first;
    }
}

}  // namespace

int modulateFsk(short* symbols, float* taps, const FskBurst& b, Buffer<std::complex<float>>& out) {
    const int n = b.symbols, M = b.M, sps = b.sps, tapCount = b.tapCount, guard = b.guard;
    const double deviation = b.deviation, sampleRate = b.sampleRate;
    const int count = static_cast<int>(fskLevelCount(n));

    // Levels 2s - (M - 1). Through int on the way to short so that a symbol
    // outside 0 ... M-1 cannot make the conversion undefined.
#pragma omp parallel for schedule(static) num_threads(availableTeam()) if (n >= kParallelMin)
    for (int i = 0; i < n; ++i) {
        const double level = (static_cast<double>(symbols[i]) + 1) * 2 - (static_cast<double>(M) + 1);
        symbols[i] = static_cast<short>(static_cast<int>(level));
    }
    if (count != n) symbols[n] = 1;

    // Alternating guards at both ends; the trailing one overwrites the level
    // appended for the even count.
    for (int i = 0; i < guard; ++i) symbols[i] = (i % 2 == 0) ? -1 : 1;
    for (int j = 0; j < guard; ++j) symbols[count - guard + j] = (j % 2 == 0) ? -1 : 1;

    if (int rc = balanceLevels(symbols, count, guard)) return rc;

    // Levels as floats: the points of the frequency train, sps samples apart.
    Buffer<float> levels(count);
    if (!levels) return outOfMemory<float>(-3, count, "FSK levels");
    for (int i = 0; i < count; ++i) levels[i] = symbols[i];

    // Taps sum to sps, so that one symbol of level v advances the phase by
    // v steps of the level frequency.
    double tapSum = 0;
    for (int i = 0; i < tapCount; ++i) tapSum += taps[i];
    if (tapSum == 0) tapSum = 1;
#pragma omp parallel for schedule(static) num_threads(availableTeam()) if (tapCount >= kParallelMin)
    for (int i = 0; i < tapCount; ++i) taps[i] = static_cast<float>(static_cast<double>(taps[i]) / tapSum * sps);

    // Taps longer than the train leave no sample; an empty result still
    // hands over an array, so a null pointer always means failure.
    const double c = ((deviation / (M - 1)) * kTwoPi) * (1 / sampleRate);
    const FskJob job{levels.get(), count, sps, taps, tapCount, sampleRate, b.inRate, c};
    const int K = b.outputLength;
    Buffer<std::complex<float>> y(K);
    if (!y) return outOfMemory<std::complex<float>>(-3, K, "FSK output");
    if (K > 0 && fskModulate(job, y.get()) < 0) return -3;  // no working memory, reason recorded
    out = std::move(y);
    return 0;
}

int GenSignalClass::DigitalModFSK(short* symbols, int n, int M, double deviation, int sps, double symbolRate,
                                  float* taps, int tapCount, int guard, double sampleRate, std::complex<float>** out,
                                  int* outLen) {
    // Everything that can be judged from the arguments alone is refused here,
    // before any array is touched; the digital generator's plan makes the
    // same checks and runs modulateFsk itself. Levels must fit a short (M <= 32768) and
    // the level step divides by M - 1.
    const char* null = !symbols ? "symbols" : !taps ? "taps" : !out ? "out" : !outLen ? "outLen" : nullptr;
    if (null) return refuse(-1, "DigitalModFSK: %s is a null pointer", null);
    if (n < 1) return refuse(-1, "n = %d: must be at least 1", n);
    if (M < 2 || M > 32768) return refuse(-1, "M = %d: must be 2 to 32768", M);
    if (sps < 1) return refuse(-1, "sps = %d: must be at least 1", sps);
    if (tapCount < 1) return refuse(-1, "tapCount = %d: must be at least 1", tapCount);
    if (guard < 1) return refuse(-1, "guard = %d: must be at least 1", guard);
    if (int rc = checkSampleRate(sampleRate)) return rc;
    if (!finitePositive(symbolRate))
        return refuse(-1, "symbolRate = %s: must be finite and above 0", numberText(symbolRate).text);
    const double inRate = static_cast<double>(sps) * symbolRate;
    if (!finitePositive(inRate))
        return refuse(-1, "symbolRate = %s: times sps %d must stay finite", numberText(symbolRate).text, sps);
    const int64_t nEven = fskLevelCount(n);
    if (!fskGuardsLeaveRoom(nEven, guard))
        return refuse(-1, "n = %d leaves no symbol between the guards of %d symbols", n, guard);
    if (!productFits(nEven, sps))
        return refuse(-1, "n = %d: its impulse train of %lld samples must stay below 2^30", n,
                      static_cast<long long>(nEven * sps));
    const int shapedLen = static_cast<int>(nEven) * sps - tapCount + 1;
    const int K = shapedLen > 0 ? farrowOutputLength(shapedLen, sampleRate, inRate) : 0;
    if (K < 0)
        return refuse(-1, "sampleRate = %s: the resampled signal would reach 2^30 samples",
                      numberText(sampleRate).text);

    Buffer<std::complex<float>> y;
    const FskBurst burst{n, M, deviation, sps, tapCount, guard, inRate, sampleRate, K};
    if (int rc = modulateFsk(symbols, taps, burst, y)) return rc;
    *out = y.release();
    *outLen = K;
    return 0;
}
