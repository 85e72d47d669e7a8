// What the exact loop mode's samples are worth: a digital or spread-spectrum
// loop against the ideal periodic band-limited resampling of its
// symbol-locked period, a multitone's spectrum against the 16-bit rounding
// of its ideal tones, the crest factors the tone phases give; the same bits
// at any thread count and with either kernel variant.
#include <fftw3.h>
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

#include "bandLimitedReference.h"
#include "exactModeSupport.h"
#include "kernelVariants.h"
#include "tonePhases.h"

namespace {

using namespace testing_support;
using cd = std::complex<double>;

struct ShapedCase {
    const char* what;
    double symbolRate;  // symbols (chips for the spread spectrum) per second
    int sps;
    int symbols;
    double fs;
    bool dss = false;
};

DigitalModParams qpsk(double symbolRate, int sps) {
    DigitalModParams p;
    std::memset(&p, 0, sizeof p);
    p.modType = QPSK;
    p.symbolRate = symbolRate;
    p.pnOrder = 11;
    p.pnSeed = 0x35;
    p.filterType = RRCOS;
    p.filterSpan = 6;
    p.samplesPerSymbol = sps;
    p.rolloff = 0.35;
    return p;
}

// 1000 bit/s of 31 chips: 31 kchip/s.
DSSParams dss(int sps) {
    DSSParams p;
    std::memset(&p, 0, sizeof p);
    p.bitRate = 1000;
    p.modType = BPSK;
    p.pnOrder = 5;
    p.filterSpan = 6;
    p.samplesPerChip = sps;
    p.rolloff = 0.35;
    p.pnSeed = 7;
    p.filterType = RRCOS;
    return p;
}

Call callFor(const ShapedCase& c, double fs) {
    if (c.dss) {
        const DSSParams p = dss(c.sps);
        return [=](int h, int16_t** iq, int* n) { return GenerateDssWaveform(h, &p, c.symbols / 31, iq, n, fs); };
    }
    const DigitalModParams p = qpsk(c.symbolRate, c.sps);
    return [=](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &p, c.symbols, iq, n, fs); };
}

class ShapedLoopAccuracy : public ::testing::TestWithParam<ShapedCase> {};

// The symbol-locked period is the defined output at the locked rate (no
// resampling there), to 16-bit rounding; the loop's error against its
// ideal resampling is measured below 0.9 of the lower Nyquist frequency,
// where any alias of the pulse's stopband leakage lands and counts.
TEST_P(ShapedLoopAccuracy, EqualsTheIdealPeriodicResamplingWithin70dB) {
    const ShapedCase c = GetParam();
    const double locked = c.symbolRate * c.sps;
    const Loop period = definedLoop(callFor(c, locked));
    ASSERT_EQ(period.rc, 0) << period.reason;
    const int64_t L = static_cast<int64_t>(c.symbols) * c.sps;
    ASSERT_EQ(static_cast<int64_t>(period.samples()), L);
    const Loop loop = exactLoop(callFor(c, c.fs));
    ASSERT_EQ(loop.rc, 0) << loop.reason;
    std::vector<cd> x(static_cast<size_t>(L)), y(loop.samples());
    for (int64_t i = 0; i < L; ++i) x[i] = period.at(i);
    for (size_t i = 0; i < y.size(); ++i) y[i] = loop.at(i);
    // Input samples per output p / q, both whole here.
    const Fraction ratio = fraction(static_cast<__int128>(locked), static_cast<__int128>(c.fs));
    const double lower = 0.5 * std::min(1.0, c.fs / locked);  // cycles per input sample
    const auto ref = harmonicsBelow(x, lower);
    const double error =
        bandErrorDb(y, ref, L, static_cast<int64_t>(ratio.num), static_cast<int64_t>(ratio.den), 0.9 * lower);
    EXPECT_LT(error, -70) << c.what;
    RecordProperty(c.what, std::to_string(error));
}

INSTANTIATE_TEST_SUITE_P(
    HardwareRates, ShapedLoopAccuracy,
    ::testing::Values(ShapedCase{"9600 sym/s, 8 per symbol, down into 44.1 kS/s", 9600, 8, 64, 44100},
                      ShapedCase{"9600 sym/s, 4 per symbol, up into 48 kS/s", 9600, 4, 64, 48000},
                      ShapedCase{"300 ksym/s, down 2.4 into 1 MS/s", 300e3, 8, 63, 1e6},
                      ShapedCase{"1.023 Msym/s up into 10 MS/s, three periods", 1.023e6, 8, 341, 10e6},
                      ShapedCase{"3.84 Msym/s up 2 into 30.72 MS/s", 3.84e6, 4, 512, 30.72e6},
                      ShapedCase{"1.023 Msym/s, 4 per symbol, up into 61.44 MS/s", 1.023e6, 4, 341, 61.44e6},
                      ShapedCase{"31 kchip/s up into 1 MS/s", 31000, 4, 248, 1e6, true},
                      ShapedCase{"31 kchip/s down into 48 kS/s", 31000, 4, 248, 48000, true}));

// The multitone's spectrum: M-point DFT of the loop; the tones at their
// bins, every other bin compared with the same DFT of the ideal tones
// scaled to 32766 and rounded to 16 bits.
struct ToneCase {
    int tones;
    double spacing, fs;
    int phases;
};

std::vector<double> spectrumMagnitudes(const std::vector<cd>& y) {
    const int n = static_cast<int>(y.size());
    std::vector<cd> in(y), out(y.size());
    fftw_plan plan = fftw_plan_dft_1d(n, reinterpret_cast<fftw_complex*>(in.data()),
                                      reinterpret_cast<fftw_complex*>(out.data()), FFTW_FORWARD, FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    std::vector<double> m(y.size());
    for (size_t i = 0; i < y.size(); ++i) m[i] = std::abs(out[i]);
    return m;
}

// The largest bin outside the tones against the smallest tone, in dB.
double worstSpurDb(const std::vector<cd>& y, const std::vector<int64_t>& toneBins) {
    std::vector<double> m = spectrumMagnitudes(y);
    double tone = 1e300;
    for (int64_t b : toneBins) {
        tone = std::min(tone, m[b]);
        m[b] = 0;
    }
    double spur = 0;
    for (double v : m) spur = std::max(spur, v);
    return 20 * std::log10(spur / tone);
}

class MultitoneLoopSpectrum : public ::testing::TestWithParam<ToneCase> {};

TEST_P(MultitoneLoopSpectrum, HoldsItsTonesAndNothingAboveTheRoundingOfTheIdealOnes) {
    const ToneCase c = GetParam();
    const MultitoneParams p{{0}, c.tones, c.spacing};
    const Loop loop =
        exactLoop([&](int h, int16_t** iq, int* n) { return GenerateMultitoneWaveform(h, &p, iq, n, c.fs); }, c.phases);
    ASSERT_EQ(loop.rc, 0) << loop.reason;
    const int64_t M = static_cast<int64_t>(loop.samples());
    const int64_t P = loop.info.periods;
    std::vector<int64_t> cycles, bins;
    for (int k = 0; k < c.tones; ++k) {
        cycles.push_back(c.tones % 2 == 0 ? (2 * k - c.tones + 1) * P : (k - (c.tones - 1) / 2) * P);
        bins.push_back(((cycles.back() % M) + M) % M);
    }
    std::vector<cd> ideal(static_cast<size_t>(M)), ours(static_cast<size_t>(M));
    double peak = 0;
    for (int64_t m = 0; m < M; ++m) {
        cd sum = 0;
        for (int k = 0; k < c.tones; ++k) {
            const double turns = static_cast<double>((cycles[k] * m % M + M) % M) / static_cast<double>(M);
            sum += std::polar(1.0,
                              6.283185307179586 * turns + tonePhase(static_cast<TonePhases>(c.phases), k, c.tones, 0));
        }
        ideal[m] = sum;
        peak = std::max(peak, std::abs(sum));
        ours[m] = loop.at(m);
    }
    for (cd& v : ideal) v = {std::round(v.real() * 32766 / peak), std::round(v.imag() * 32766 / peak)};
    const double floor = worstSpurDb(ideal, bins), got = worstSpurDb(ours, bins);
    EXPECT_LE(got, floor + 3) << "ideal tones rounded: " << floor << " dB";
    EXPECT_LT(got, -60);
}

INSTANTIATE_TEST_SUITE_P(Tones, MultitoneLoopSpectrum,
                         ::testing::Values(ToneCase{2, 1000, 44100, GENSIGNAL_TONE_PHASES_ZERO},
                                           ToneCase{16, 1000, 48000, GENSIGNAL_TONE_PHASES_SCHROEDER},
                                           ToneCase{7, 100e3, 1e6, GENSIGNAL_TONE_PHASES_RANDOM},
                                           ToneCase{8, 100e3, 30.72e6, GENSIGNAL_TONE_PHASES_ZERO},
                                           ToneCase{10, 1e6, 30.72e6, GENSIGNAL_TONE_PHASES_ZERO},
                                           ToneCase{64, 10e3, 61.44e6, GENSIGNAL_TONE_PHASES_NEWMAN}));

TEST(MultitoneCrestFactor, NewmanPhasesKeep64TonesWithin3dB) {
    const MultitoneParams p{{0}, 64, 10e3};
    auto call = [&](int h, int16_t** iq, int* n) { return GenerateMultitoneWaveform(h, &p, iq, n, 30.72e6); };
    const Loop newman = exactLoop(call, GENSIGNAL_TONE_PHASES_NEWMAN);
    const Loop zero = exactLoop(call, GENSIGNAL_TONE_PHASES_ZERO);
    ASSERT_EQ(newman.rc, 0);
    ASSERT_EQ(zero.rc, 0);
    EXPECT_LE(crestFactorDb(newman), 3.0);
    EXPECT_NEAR(crestFactorDb(zero), 10 * std::log10(64.0), 0.1);  // 18 dB: every tone in phase at the start
    EXPECT_LE(crestFactorDb(exactLoop(call, GENSIGNAL_TONE_PHASES_SCHROEDER)), 3.0);
}

// Exact-mode outputs of every shape of work: the generic kernels at one
// thread are the reference.
std::vector<Call> reproducibilityCalls() {
    static const DigitalModParams q = qpsk(1.023e6, 8);
    static const MultitoneParams tones{{0}, 64, 10e3};
    static const PulseParams pulse{0.05e-3, 0.23e-3};
    static DigitalModParams fsk = [] {
        DigitalModParams p = qpsk(1.023e6, 8);
        p.modType = FSK4;
        p.filterType = GAUSSIAN;
        p.rolloff = 0.5;
        p.freqDeviation = 1.023e6 * 0.75;
        return p;
    }();
    return {[](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &q, 200, iq, n, 10e6); },
            [](int h, int16_t** iq, int* n) { return GenerateDigitalModWaveform(h, &fsk, 100, iq, n, 10e6); },
            [](int h, int16_t** iq, int* n) { return GenerateMultitoneWaveform(h, &tones, iq, n, 30.72e6); },
            [](int h, int16_t** iq, int* n) { return GeneratePulseWaveform(h, &pulse, iq, n, 30.72e6); }};
}

class ExactLoopBits : public KernelVariantTest {};

TEST_P(ExactLoopBits, AgreeAtAnyThreadCountWithEitherKernel) {
    const int saved = omp_get_max_threads();
    const KernelVariant variant = activeKernels();
    for (const Call& call : reproducibilityCalls()) {
        forceKernels(KernelVariant::generic);
        omp_set_num_threads(1);
        const Loop reference = exactLoop(call, GENSIGNAL_TONE_PHASES_NEWMAN);
        ASSERT_EQ(reference.rc, 0) << reference.reason;
        forceKernels(variant);
        for (int threads : {1, 2, 3}) {
            omp_set_num_threads(threads);
            EXPECT_TRUE(reference.iq == exactLoop(call, GENSIGNAL_TONE_PHASES_NEWMAN).iq) << threads << " threads";
        }
    }
    omp_set_num_threads(saved);
}

INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(ExactLoopBits);

}  // namespace
