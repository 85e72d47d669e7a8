// The digital, spread-spectrum and FSK generators against the literal
// chains they replaced: the zero-stuffed train filtered term by term by the
// plain convolution, OQPSK's offset as an array of its own, the resampler
// over the whole shaped signal and the FSK phase summed in one pass. Every
// record kind with every filter, at the symbol-locked rate and resampled up,
// down and far down, for 1, 2 and 3 threads and each kernel variant.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bitHelpers.h"
#include "farrow.h"
#include "genSignalClass.h"
#include "kernelVariants.h"
#include "pnSequence.h"
#include "testSupport.h"

namespace {

using C = std::complex<float>;
using testing_support::sameBits;

// Sample rates as multiples of the symbol- or chip-locked rate.
const double kRateFactors[] = {1.0, 1.3, 0.7, 0.17, 0.05};

int effectiveSpan(int filterType, int span) { return filterType == RECT || filterType == HALF_SINE ? 1 : span; }

std::vector<float> design(int filterType, double rolloff, int S, int sps, int* m) {
    GenSignalClass obj;
    std::vector<float> taps(static_cast<size_t>(S) * sps + 100);
    int error = 0;
    obj.getFilter(static_cast<FilterType>(filterType), static_cast<float>(rolloff), S, sps, taps.data(), m, &error);
    EXPECT_EQ(error, 0);
    return taps;
}

std::vector<C> resampleIfApart(const std::vector<C>& x, double rate, double R, double tolerance) {
    if (!(std::fabs(rate - R) > tolerance)) return x;
    GenSignalClass obj;
    std::vector<C> y(farrowOutputLength(static_cast<int>(x.size()), rate, R));
    int K = 0;
    obj.FarrowInterp(x.data(), static_cast<int>(x.size()), rate, R, y.data(), &K);
    y.resize(K);
    return y;
}

// The FSK modulator as it was: levels, guards and balance walk, the
// impulse train, the plain real convolution, the resampler and one pass of
// the phase sum. (Only records whose levels can be balanced come here.)
std::vector<C> literalFsk(std::vector<short> s, int n, int M, double deviation, int sps, double symbolRate,
                          std::vector<float> taps, int tapCount, int G, double rate) {
    GenSignalClass obj;
    for (int i = 0; i < n; ++i) s[i] = static_cast<short>((s[i] + 1.0) * 2 - (M + 1.0));
    const int count = n + (n & 1);
    if (count != n) s[n] = 1;
    for (int i = 0; i < G; ++i) s[i] = i % 2 == 0 ? -1 : 1;
    for (int j = 0; j < G; ++j) s[count - G + j] = j % 2 == 0 ? -1 : 1;
    double sum = 0;
    for (int i = 0; i < count; ++i) sum += s[i];
    const double H = sum / 2;
    if (!(std::fabs(H) < 1e-9)) {
        const int sigma = H > 0 ? 1 : -1;
        int changes = 0;
        for (int i = G;;) {
            if (s[i] * sigma > 0) {
                s[i] = static_cast<short>(s[i] - 2 * sigma);
                if (++changes >= std::fabs(H)) break;
            }
            if (++i == count - G - 1) i = G;
        }
    }
    std::vector<float> train(static_cast<size_t>(count) * sps + 10, 0.0f);
    for (int i = 0; i < count; ++i) train[static_cast<size_t>(i) * sps] = s[i];
    double tapSum = 0;
    for (int i = 0; i < tapCount; ++i) tapSum += taps[i];
    if (tapSum == 0) tapSum = 1;
    for (int i = 0; i < tapCount; ++i) taps[i] = static_cast<float>(static_cast<double>(taps[i]) / tapSum * sps);
    float* f = nullptr;
    int L = 0;
    obj.conv2_real(train.data(), count * sps, taps.data(), tapCount, &f, &L);
    float* g = nullptr;
    int K = 0;
    obj.FarrowInterp_real(f, L, rate, sps * symbolRate, &g, &K);
    std::free(f);
    std::vector<C> y(K);
    const double c = ((deviation / (M - 1)) * 6.283185307179586) * (1 / rate);
    double phase = 0;
    for (int k = 0; k < K; ++k) {
        phase += g[k];
        y[k] = {static_cast<float>(std::cos(c * phase)), static_cast<float>(std::sin(c * phase))};
    }
    std::free(g);
    return y;
}

std::vector<C> literalDigital(const DigitalModParams& p, double rate, int N) {
    GenSignalClass obj;
    int M = 0, error = 0;
    obj.getOrderM(p.modType, &M, &error);
    const int k = static_cast<int>(std::log2(static_cast<double>(M)));
    const int S = effectiveSpan(p.filterType, p.filterSpan);
    const int n = N + S, sps = p.samplesPerSymbol;
    signed char* seed = nullptr;
    dec2bin(p.pnSeed, p.pnOrder, &seed);
    std::vector<signed char> bits(static_cast<size_t>(k) * n);
    obj.func_PN_gen(p.pnOrder, seed, bits.data(), k * N);
    delete[] seed;
    std::memcpy(bits.data() + k * N, bits.data(), static_cast<size_t>(k) * S);
    std::vector<short> symbols(n + 1);
    for (int j = 0; j < n; ++j) symbols[j] = obj.bi2deForC(bits.data() + j * k, k);
    int m = 0;
    const std::vector<float> taps = design(p.filterType, p.rolloff, S, sps, &m);
    const double R = static_cast<double>(sps) * p.symbolRate;
    if (p.modType >= FSK2 && p.modType <= FSK16)
        return literalFsk(symbols, n, M, p.freqDeviation, sps, p.symbolRate, taps, m, S, rate);

    std::vector<C> train(static_cast<size_t>(sps) * n);
    obj.DigitalModAPQAM(symbols.data(), n, p.modType == OQPSK ? QPSK : p.modType, S, sps, train.data());
    std::vector<C> shaped(train.size());
    int L = 0;
    obj.conv2_complex(train.data(), static_cast<int>(train.size()), taps.data(), m, shaped.data(), &L);
    shaped.resize(L);
    if (p.modType == OQPSK) {
        std::vector<C> offset(L);
        const int h = sps / 2;
        for (int i = 0; i < L; ++i) offset[i] = {shaped[i].real(), shaped[(i + L - h) % L].imag()};
        shaped.swap(offset);
    }
    return resampleIfApart(shaped, rate, R, 1e-6);
}

std::vector<C> literalDss(const DSSParams& p, double rate, int bitCount) {
    GenSignalClass obj;
    const int N = static_cast<int>(std::pow(2, p.pnOrder) - 1), Nc = bitCount * N;
    const int S = effectiveSpan(p.filterType, p.filterSpan), sps = p.samplesPerChip;
    std::vector<signed char> data(bitCount), spread(Nc), chips(S + Nc);
    obj.func_PN_gen(9, kPnDataStart, data.data(), bitCount);
    obj.rectpulseForC(data.data(), bitCount, N, spread.data());
    signed char* seed = nullptr;
    dec2bin(p.pnSeed, p.pnOrder, &seed);
    obj.func_PN_gen(p.pnOrder, seed, chips.data(), Nc);
    delete[] seed;
    for (int i = 0; i < Nc; ++i) chips[i] = static_cast<signed char>((chips[i] + spread[i]) & 1);
    for (int i = 0; i < S; ++i) chips[Nc + i] = chips[i];
    int m = 0;
    const std::vector<float> taps = design(p.filterType, p.rolloff, S, sps, &m);
    std::vector<short> symbols(chips.begin(), chips.end());
    std::vector<C> train(static_cast<size_t>(S + Nc) * sps);
    obj.DigitalModAPQAM(symbols.data(), S + Nc, BPSK, S, sps, train.data());
    std::vector<C> shaped(train.size());
    int L = 0;
    obj.conv2_complex(train.data(), static_cast<int>(train.size()), taps.data(), m, shaped.data(), &L);
    shaped.resize(L);
    return resampleIfApart(shaped, rate, static_cast<double>(sps) * p.bitRate * N, 1e-9);
}

// The generator's output at 1, 2 and 3 threads, each against `want`.
template <class Generate>
::testing::AssertionResult sameAtEveryThreadCount(const std::vector<C>& want, Generate generate) {
    const int saved = omp_get_max_threads();
    for (int threads : {1, 2, 3}) {
        omp_set_num_threads(threads);
        C* y = nullptr;
        int n = -1;
        const int rc = generate(&y, &n);
        const std::vector<C> got = rc == 0 ? std::vector<C>(y, y + n) : std::vector<C>();
        std::free(y);
        if (rc != 0 || !sameBits(got, want)) {
            omp_set_num_threads(saved);
            return ::testing::AssertionFailure()
                   << threads << " threads: result " << rc << ", " << got.size() << " samples for " << want.size();
        }
    }
    omp_set_num_threads(saved);
    return ::testing::AssertionSuccess();
}

class GeneratorChains : public testing_support::KernelVariantTest {};

// Enough samples that the threads share the work.
TEST_P(GeneratorChains, EveryModulationKindAndFilterGivesTheLiteralChainsBits) {
    for (int type = 1; type <= 22; ++type) {
        for (int filter = RECT; filter <= HALF_SINE; ++filter) {
            DigitalModParams p{};
            p.modType = static_cast<DigitalModulType>(type);
            p.symbolRate = 1e5;
            p.freqDeviation = 2.5e4;
            p.pnOrder = 11;
            p.pnSeed = 0x2d3 + type;
            p.filterType = static_cast<FilterType>(filter);
            p.filterSpan = 3;
            p.samplesPerSymbol = 5;  // odd span * sps: the raised cosines' extra sample
            p.rolloff = filter == GAUSSIAN ? 0.3 : 0.35;
            const int N = 4000;
            for (double factor : kRateFactors) {
                const double rate = factor * 5e5;
                const std::vector<C> want = literalDigital(p, rate, N);
                EXPECT_TRUE(sameAtEveryThreadCount(want,
                                                   [&](C** y, int* n) {
                                                       GenSignalClass obj;
                                                       return obj.genDigitalSig(&p, rate, N, y, *n);
                                                   }))
                    << "type " << type << " filter " << filter << " rate x" << factor;
            }
        }
    }
}

// The jobs' settings, where the offset is half of an even sps.
TEST_P(GeneratorChains, QuadratureOffsetAtEightSamplesPerSymbol) {
    for (int type : {QPSK, OQPSK, DQPSK}) {
        DigitalModParams p{};
        p.modType = static_cast<DigitalModulType>(type);
        p.symbolRate = 1e6;
        p.pnOrder = 15;
        p.pnSeed = 1;
        p.filterType = RRCOS;
        p.filterSpan = 6;
        p.samplesPerSymbol = 8;
        p.rolloff = 0.35;
        for (double rate : {8e6, 10e6, 6.5e6, 0.4e6}) {
            const std::vector<C> want = literalDigital(p, rate, 5000);
            EXPECT_TRUE(sameAtEveryThreadCount(want,
                                               [&](C** y, int* n) {
                                                   GenSignalClass obj;
                                                   return obj.genDigitalSig(&p, rate, 5000, y, *n);
                                               }))
                << "type " << type << " rate " << rate;
        }
    }
}

TEST_P(GeneratorChains, SpreadSpectrumWithEveryFilterGivesTheLiteralChainsBits) {
    for (int filter = RECT; filter <= HALF_SINE; ++filter) {
        for (int sps : {1, 4}) {
            const DSSParams p{1000, BPSK, 7, 5, sps, filter == GAUSSIAN ? 0.5 : 0.25, 0x35, filter};
            const double R = sps * 1000.0 * 127;
            const int bits = 200;  // 25,400 chips
            for (double factor : kRateFactors) {
                const std::vector<C> want = literalDss(p, factor * R, bits);
                EXPECT_TRUE(sameAtEveryThreadCount(want,
                                                   [&](C** y, int* n) {
                                                       GenSignalClass obj;
                                                       return obj.genDSSSig(&p, factor * R, bits, y, n);
                                                   }))
                    << "filter " << filter << " sps " << sps << " rate x" << factor;
            }
        }
    }
}

INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(GeneratorChains);

}  // namespace
