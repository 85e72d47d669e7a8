// Continuous-phase FSK: symbols become signed frequency levels, the levels
// are shaped into an instantaneous-frequency signal at the symbol-locked
// rate, resampled to the output rate and only then integrated into phase.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "function.h"
#include "genSignalClass.h"

int GenSignalClass::DigitalModFSK(short* symbols, int n, int M, double deviation, int sps, double symbolRate,
                                  float* taps, int tapCount, int guard, double sampleRate, std::complex<float>** out,
                                  int* outLen) {
    // Everything that can be judged from the arguments alone is refused here,
    // before any array is touched. Levels must fit a short (M <= 32768), the
    // level step divides by M - 1, and the balance walk needs a middle range
    // of at least one symbol between the guards.
    if (!symbols || !taps || !out || !outLen) return -1;
    if (n < 1 || M < 2 || M > 32768 || sps < 1 || tapCount < 1 || guard < 1) return -1;
    if (!finitePositive(sampleRate) || !finitePositive(symbolRate)) return -1;
    const double inRate = static_cast<double>(sps) * symbolRate;
    if (!finitePositive(inRate)) return -1;
    const int64_t nEven = static_cast<int64_t>(n) + (n & 1);
    if (nEven < 2 * static_cast<int64_t>(guard) + 2) return -1;
    if (!productFits(nEven, sps)) return -1;
    const int count = static_cast<int>(nEven);
    const int trainLen = count * sps;
    const int shapedLen = trainLen - tapCount + 1;
    if (shapedLen > 0 && farrowOutputLength(shapedLen, sampleRate, inRate) < 0) return -1;

    // Levels 2s - (M - 1). Through int on the way to short so that a symbol
    // outside 0 ... M-1 cannot make the conversion undefined.
#pragma omp parallel for schedule(static)
    for (int i = 0; i < n; ++i) {
        const double level = (static_cast<double>(symbols[i]) + 1) * 2 - (static_cast<double>(M) + 1);
        symbols[i] = static_cast<short>(static_cast<int>(level));
    }
    if (count != n) symbols[n] = 1;

    // Alternating guards at both ends; the trailing one overwrites the level
    // appended for the even count.
    for (int i = 0; i < guard; ++i) symbols[i] = (i % 2 == 0) ? -1 : 1;
    for (int j = 0; j < guard; ++j) symbols[count - guard + j] = (j % 2 == 0) ? -1 : 1;

    // Balance: move levels of the sum's sign one step at a time, cyclically
    // over guard ... count - guard - 2, until the levels sum to zero.
    double sum = 0;
    for (int i = 0; i < count; ++i) sum += symbols[i];
    const double half = sum / 2;
    if (!(std::fabs(half) < 1e-9)) {
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
        if (static_cast<double>(room) < target) return -1;
        int64_t changes = 0;
        for (int i = first;;) {
            if (symbols[i] * sigma > 0) {
                symbols[i] = static_cast<short>(symbols[i] - 2 * sigma);
                if (static_cast<double>(++changes) >= target) break;
            }
            if (++i == stop) i = first;
        }
    }

    // Impulse train: one level every sps samples. The ten spare zeros are
    // not filtered.
    auto* train = static_cast<float*>(std::calloc(static_cast<size_t>(trainLen) + 10, sizeof(float)));
    if (!train) return -3;
    for (int i = 0; i < count; ++i) train[static_cast<size_t>(i) * sps] = symbols[i];

    // Taps sum to sps, so that one symbol of level v advances the phase by
    // v steps of the level frequency.
    double tapSum = 0;
    for (int i = 0; i < tapCount; ++i) tapSum += taps[i];
    if (tapSum == 0) tapSum = 1;
#pragma omp parallel for schedule(static)
    for (int i = 0; i < tapCount; ++i) taps[i] = static_cast<float>(static_cast<double>(taps[i]) / tapSum * sps);

    float* freq = nullptr;
    int freqLen = 0;
    conv2_real(train, trainLen, taps, tapCount, &freq, &freqLen);
    std::free(train);
    if (shapedLen > 0 && (freqLen != shapedLen || !freq)) {
        std::free(freq);
        return -3;
    }

    // Resampled even when the rates agree.
    float* resampled = nullptr;
    int K = 0;
    if (freqLen > 0) FarrowInterp_real(freq, freqLen, sampleRate, inRate, &resampled, &K);
    std::free(freq);
    if (freqLen > 0 && (K < 1 || !resampled)) {
        std::free(resampled);
        return -3;
    }

    // An empty result still hands over an array, so a null pointer always
    // means failure.
    auto* y = static_cast<std::complex<float>*>(
        std::malloc(sizeof(std::complex<float>) * static_cast<size_t>(K > 0 ? K : 1)));
    if (!y) {
        std::free(resampled);
        return -3;
    }
    const double c = ((deviation / (M - 1)) * kTwoPi) * (1 / sampleRate);
    double phaseSum = 0;
    for (int k = 0; k < K; ++k) {
        phaseSum += resampled[k];
        const double phi = c * phaseSum;
        y[k] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }
    std::free(resampled);
    *out = y;
    *outLen = K;
    return 0;
}
