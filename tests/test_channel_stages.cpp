// The channel's deterministic stages against their formulas, value by value
// (literal twins written here from the definitions), and the fading
// profiles against the published tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "additiveNoise.h"
#include "amplifier.h"
#include "carrierOffset.h"
#include "channelSupport.h"
#include "delayLine.h"
#include "fadingProfiles.h"
#include "fourierTransform.h"
#include "fractionalDelay.h"
#include "iqImbalance.h"
#include "tapGains.h"

namespace {

using namespace testing_support;
using C = std::complex<double>;
constexpr double kPi = 3.141592653589793;

// The delay's taps as its definition states them, in long double.
std::vector<double> literalDelayTaps(double fraction) {
    std::vector<double> h(kDelayTaps);
    long double sum = 0;
    for (int l = 0; l < kDelayTaps; ++l) {
        const long double tau = (l - (kDelayTaps / 2 - 1)) - static_cast<long double>(fraction);
        const long double t = tau / (kDelayTaps / 2);
        const long double sinc = std::sin(kPi * tau) / (kPi * tau);
        h[l] = static_cast<double>(sinc * std::cyl_bessel_i(0.0L, kDelayBeta * std::sqrt(1 - t * t)) /
                                   std::cyl_bessel_i(0.0L, static_cast<long double>(kDelayBeta)));
        sum += h[l];
    }
    for (double& v : h) v /= static_cast<double>(sum);
    return h;
}

std::vector<float> rail(const std::vector<C>& x, bool imaginary) {
    std::vector<float> r(x.size());
    for (size_t i = 0; i < x.size(); ++i) r[i] = static_cast<float>(imaginary ? x[i].imag() : x[i].real());
    return r;
}

std::vector<float> delayRail(const FractionalDelay& d, const std::vector<float>& x) {
    const int64_t n = static_cast<int64_t>(x.size());
    std::vector<float> out(x.size()), window(kGainBlock + kDelayTaps);
    for (int64_t at = 0; at < n; at += kGainBlock) {
        const int count = static_cast<int>(std::min<int64_t>(kGainBlock, n - at));
        const float* y = delayBlock(d, x.data(), n, at, count, window.data(), out.data() + at);
        std::copy(y, y + count, out.begin() + at);
    }
    return out;
}

TEST(ChannelDelay, TapsAreTheWindowedSincOfTheirDefinition) {
    for (double delay : {0.25, 3.7, -1.125, 1000.999}) {
        const FractionalDelay d = designDelay(delay, 4096);
        ASSERT_EQ(d.taps, kDelayTaps);
        const double fraction = delay - std::floor(delay);
        const std::vector<double> h = literalDelayTaps(fraction);
        for (int l = 0; l < kDelayTaps; ++l) EXPECT_NEAR(d.coefficient[l], h[l], 2e-7) << "delay " << delay;
        const int64_t whole = static_cast<int64_t>(std::floor(delay)) - (kDelayTaps / 2 - 1);
        EXPECT_EQ(d.shift, ((whole % 4096) + 4096) % 4096);
    }
}

TEST(ChannelDelay, WholeSamplesShiftCircularlyAndExactly) {
    std::vector<float> x(1000);
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(std::sin(0.1 * i) + i);
    for (double delay : {0.0, 7.0, -3.0, 2999.0}) {
        const std::vector<float> y = delayRail(designDelay(delay, 1000), x);
        const int64_t s = ((static_cast<int64_t>(delay) % 1000) + 1000) % 1000;
        for (int64_t m = 0; m < 1000; ++m) ASSERT_EQ(y[m], x[(m - s + 1000) % 1000]) << "delay " << delay;
    }
}

TEST(ChannelDelay, AFractionIsTheBandLimitedDelayWithin76Db) {
    // A tone of whole cycles at 0.3 of the rate (0.6 of Nyquist), delayed
    // circularly by 0.37 samples: within -76 dB of the ideal delay.
    const int n = 8192;
    const double cycles = std::round(0.3 * n), delay = 0.37;
    std::vector<C> x(n);
    for (int m = 0; m < n; ++m) x[m] = std::polar(1.0, 2 * kPi * cycles * m / n);
    const FractionalDelay d = designDelay(delay, n);
    const std::vector<float> re = delayRail(d, rail(x, false)), im = delayRail(d, rail(x, true));
    double error = 0;
    for (int m = 0; m < n; ++m)
        error = std::max(error, std::abs(C(re[m], im[m]) - std::polar(1.0, 2 * kPi * cycles * (m - delay) / n)));
    EXPECT_LT(20 * std::log10(error), -76);
}

TEST(ChannelAmplifier, SalehPeaksAt1Point0058ForInput0Point9318) {
    GenSignalChannel c = channelOff();
    c.paModel = GENSIGNAL_PA_SALEH;
    // Mean power 1 and no back-off: r = |x| sqrt(beta_a) / sqrt(beta_a) ... in the model's units r = |x| / 1.
    // At a mean power of 1 / beta_a and no back-off the model's r is |x|.
    const Amplifier a = amplifierFor(c, 1 / kSalehBetaA);
    double best = 0, at09318 = 0;
    for (int i = 1; i <= 20000; ++i) {
        const float r = static_cast<float>(i * 1e-4);
        std::complex<float> x(r, 0);
        amplify(a, &x, 0, 1);
        // AM/AM alpha_a r / (1 + beta_a r^2), AM/PM alpha_phi r^2 / (1 + beta_phi r^2).
        EXPECT_NEAR(std::abs(x), kSalehAlphaA * r / (1 + kSalehBetaA * r * r), 2e-7);
        EXPECT_NEAR(std::arg(x), kSalehAlphaPhi * r * r / (1 + kSalehBetaPhi * r * r), 2e-7);
        best = std::max(best, static_cast<double>(std::abs(x)));
        if (i == 9318) at09318 = std::abs(x);
    }
    EXPECT_NEAR(at09318, 1.0058, 5e-5);
    EXPECT_LT(best, 1.0058 + 5e-5);
}

TEST(ChannelAmplifier, RappIs1Point505DbBelowLinearAtSaturation) {
    GenSignalChannel c = channelOff();
    c.paModel = GENSIGNAL_PA_RAPP;
    c.paBackoffDb = 10;  // saturation amplitude sqrt(meanPower) 10^(10/20)
    const double meanPower = 4;
    const Amplifier a = amplifierFor(c, meanPower);
    const double vsat = std::sqrt(meanPower * std::pow(10.0, 1.0));
    std::complex<float> x(static_cast<float>(vsat * 0.6), static_cast<float>(vsat * 0.8));
    const std::complex<float> in = x;
    amplify(a, &x, 0, 1);
    EXPECT_NEAR(20 * std::log10(std::abs(x) / std::abs(in)), -1.505, 5e-4);
    EXPECT_NEAR(std::arg(x), std::arg(in), 1e-7);  // phase unchanged
}

TEST(ChannelIqImbalance, ImageRejectionOfAToneFollowsTheClosedForm) {
    struct Case {
        double gainDb, phaseDeg, expectedDb;
    } const cases[] = {{0.1, 1, 39.61}, {2, 15, 15.16}};
    const int n = 4096, cycles = 100;
    for (const Case& k : cases) {
        EXPECT_NEAR(imageRejectionDb(k.gainDb, k.phaseDeg), k.expectedDb, 0.005);
        const IqImbalance q = iqImbalanceFor(k.gainDb, k.phaseDeg);
        std::vector<std::complex<float>> x(n);
        for (int m = 0; m < n; ++m) {
            const C v = std::polar(1000.0, 2 * kPi * cycles * m / n);
            x[m] = {static_cast<float>(v.real()), static_cast<float>(v.imag())};
        }
        const std::vector<std::complex<float>> in = x;
        applyIqImbalance(q, x.data(), 0, n);
        C tone = 0, image = 0;
        for (int m = 0; m < n; ++m) {
            // Each value as the formula writes it, products left to right in double.
            const double gI = std::pow(10.0, k.gainDb / 40), gQ = std::pow(10.0, -k.gainDb / 40);
            const double t = k.phaseDeg / 2 * (kPi / 180);
            const double i = in[m].real(), v = in[m].imag();
            ASSERT_EQ(x[m].real(), static_cast<float>(gI * i * std::cos(t) - gQ * v * std::sin(t)));
            ASSERT_EQ(x[m].imag(), static_cast<float>(-gI * i * std::sin(t) + gQ * v * std::cos(t)));
            tone += C(x[m].real(), x[m].imag()) * std::polar(1.0, -2 * kPi * cycles * m / n);
            image += C(x[m].real(), x[m].imag()) * std::polar(1.0, 2 * kPi * cycles * m / n);
        }
        EXPECT_NEAR(20 * std::log10(std::abs(tone) / std::abs(image)), k.expectedDb, 0.05);
    }
}

TEST(ChannelCarrier, TurnsEverySampleByItsAngleAndClosesOnWholeCycles) {
    const int64_t n = 10000;
    const double rate = 1e6;
    CarrierOffset whole, fraction;
    whole.plan(300, 30, n, rate, true, 3);  // 3 cycles over the buffer
    fraction.plan(123.4, -45, n, rate, false, 0);
    std::vector<std::complex<float>> a(kRotationBlock), b(kRotationBlock);
    for (int64_t first = 0; first < n; first += kRotationBlock) {
        const int count = static_cast<int>(std::min<int64_t>(kRotationBlock, n - first));
        whole.block(first, count, a.data());
        fraction.block(first, count, b.data());
        for (int u = 0; u < count; ++u) {
            const double m = static_cast<double>(first + u);
            EXPECT_LT(std::abs(C(a[u].real(), a[u].imag()) - std::polar(1.0, 2 * kPi * 300 * m / rate + kPi / 6)),
                      2e-7);
            EXPECT_LT(std::abs(C(b[u].real(), b[u].imag()) - std::polar(1.0, 2 * kPi * 123.4 * m / rate - kPi / 4)),
                      2e-7);
        }
    }
    // The sample after the last is the first again.
    whole.block(n - 1, 1, a.data());
    whole.block(0, 1, b.data());
    EXPECT_LT(std::abs(C(a[0].real(), a[0].imag()) * std::polar(1.0, 2 * kPi * 3 / n) - C(b[0].real(), b[0].imag())),
              2e-7);
}

TEST(ChannelNoise, TheBandHoldsTheBinsWhoseCentreLiesWithinIt) {
    // 1000 bins of 1 Hz: +-100 Hz holds bins -100 ... 100.
    int inside = 0;
    for (int64_t k = 0; k < 1000; ++k) inside += binInBand(k, 1000, 1000, 200);
    EXPECT_EQ(inside, 201);
    EXPECT_TRUE(binInBand(900, 1000, 1000, 200));
    EXPECT_FALSE(binInBand(899, 1000, 1000, 200));
}

TEST(ChannelDoppler, JakesSharesSplitTheSpectrumOverTheLines) {
    const double fD = 70;
    EXPECT_NEAR(jakesShare(-fD, fD, fD), 1, 1e-15);
    EXPECT_NEAR(jakesShare(0, fD, fD), 0.5, 1e-15);
    // The U shape: the outermost interval holds more than the centre one.
    EXPECT_GT(jakesShare(60, 70, fD), jakesShare(-5, 5, fD));
}

// The published tables, typed again from TS 36.104 annex B and TR 38.901 7.7.2.
struct PublishedRow {
    double delay, powerDb;
};

const std::vector<PublishedRow> kPublished[] = {
    {{0, 0}, {30, -1}, {70, -2}, {90, -3}, {110, -8}, {190, -17.2}, {410, -20.8}},
    {{0, 0}, {30, -1.5}, {150, -1.4}, {310, -3.6}, {370, -0.6}, {710, -9.1}, {1090, -7}, {1730, -12}, {2510, -16.9}},
    {{0, -1}, {50, -1}, {120, -1}, {200, 0}, {230, 0}, {500, 0}, {1600, -3}, {2300, -5}, {5000, -7}},
    {{0, -13.4},      {0.3819, 0},     {0.4025, -2.2},  {0.5868, -4},    {0.4610, -6},    {0.5375, -8.2},
     {0.6708, -9.9},  {0.5750, -10.5}, {0.7618, -7.5},  {1.5375, -15.9}, {1.8978, -6.6},  {2.2242, -16.7},
     {2.1717, -12.4}, {2.4942, -15.2}, {2.5119, -10.8}, {3.0582, -11.3}, {4.0810, -12.7}, {4.4579, -16.2},
     {4.5695, -18.3}, {4.7966, -18.9}, {5.0066, -16.6}, {5.3043, -19.9}, {9.6586, -29.7}},
    {{0, 0},         {0.1072, -2.2},  {0.2155, -4},    {0.2095, -3.2}, {0.2870, -9.8}, {0.2986, -1.2},
     {0.3752, -3.4}, {0.5055, -5.2},  {0.3681, -7.6},  {0.3697, -3},   {0.5700, -8.9}, {0.5283, -9},
     {1.1021, -4.8}, {1.2756, -5.7},  {1.5474, -7.5},  {1.7842, -1.9}, {2.0169, -7.6}, {2.8294, -12.2},
     {3.0219, -9.8}, {3.6187, -11.4}, {4.1067, -14.9}, {4.2790, -9.2}, {4.7834, -11.3}},
    {{0, -4.4},       {0.2099, -1.2},  {0.2219, -3.5}, {0.2329, -5.2},  {0.2176, -2.5},  {0.6366, 0},
     {0.6448, -2.2},  {0.6560, -3.9},  {0.6584, -7.4}, {0.7935, -7.1},  {0.8213, -10.7}, {0.9336, -11.1},
     {1.2285, -5.1},  {1.3083, -6.8},  {2.1704, -8.7}, {2.7105, -13.2}, {4.2589, -13.9}, {4.6003, -13.9},
     {5.4902, -15.8}, {5.6077, -17.1}, {6.3065, -16},  {6.6374, -15.7}, {7.0427, -21.6}, {8.6523, -22.8}},
    {{0, -0.2},
     {0, -13.5},
     {0.035, -18.8},
     {0.612, -21},
     {1.363, -22.8},
     {1.405, -17.9},
     {1.804, -20.1},
     {2.596, -21.9},
     {1.775, -22.9},
     {4.042, -27.8},
     {7.937, -23.6},
     {9.424, -24.8},
     {9.708, -30},
     {12.525, -27.7}},
    {{0, -0.03},
     {0, -22.03},
     {0.5133, -15.8},
     {0.5440, -18.1},
     {0.5630, -19.8},
     {0.5440, -22.9},
     {0.7112, -22.4},
     {1.9092, -18.6},
     {1.9293, -20.8},
     {1.9589, -22.6},
     {2.6426, -22.3},
     {3.7136, -25.6},
     {5.4524, -20.2},
     {12.0034, -29.8},
     {20.6519, -29.2}},
};

TEST(ChannelProfiles, EveryProfileHoldsThePublishedTaps) {
    for (int fading = GENSIGNAL_FADING_EPA; fading <= GENSIGNAL_FADING_TDL_E; ++fading) {
        const FadingProfile* p = fadingProfile(fading);
        ASSERT_NE(p, nullptr);
        const std::vector<PublishedRow>& published = kPublished[fading - GENSIGNAL_FADING_EPA];
        ASSERT_EQ(p->count, static_cast<int>(published.size())) << p->name;
        for (int i = 0; i < p->count; ++i) {
            EXPECT_EQ(p->rows[i].delay, published[i].delay) << p->name << " tap " << i;
            EXPECT_EQ(p->rows[i].powerDb, published[i].powerDb) << p->name << " tap " << i;
            EXPECT_EQ(p->rows[i].lineOfSight, i == 0 && fading >= GENSIGNAL_FADING_TDL_D) << p->name;
        }
    }
}

TEST(ChannelProfiles, DelaySpreadsAndKFactorsAreThePublishedOnes) {
    // TS 36.104 Table B.2-1: 43, 357 and 991 ns; TR 38.901's delays are normalised to 1.
    const double spread[] = {43, 357, 991, 1, 1, 1, 1, 1};
    for (int fading = GENSIGNAL_FADING_EPA; fading <= GENSIGNAL_FADING_TDL_E; ++fading) {
        const FadingProfile* p = fadingProfile(fading);
        double total = 0, mean = 0, square = 0;
        for (int i = 0; i < p->count; ++i) {
            const double w = std::pow(10.0, p->rows[i].powerDb / 10);
            total += w;
            mean += w * p->rows[i].delay;
            square += w * p->rows[i].delay * p->rows[i].delay;
        }
        const double rms = std::sqrt(square / total - (mean / total) * (mean / total));
        EXPECT_NEAR(rms / spread[fading - GENSIGNAL_FADING_EPA], 1, 0.007) << p->name;
    }
    GenSignalChannel c = channelOff();
    c.delaySpread = 100e-9;
    for (auto [fading, kDb] : {std::pair{GENSIGNAL_FADING_TDL_D, 13.3}, std::pair{GENSIGNAL_FADING_TDL_E, 22.0}}) {
        c.fading = fading;
        const DelayLine line = delayLineOf(c, 30.72e6);
        EXPECT_NEAR(10 * std::log10(line.taps[0].specularPower / line.taps[0].diffusePower), kDb, 1e-9);
        double total = 0;
        for (int i = 0; i < line.count; ++i) total += line.taps[i].diffusePower + line.taps[i].specularPower;
        EXPECT_NEAR(total, 1, 1e-12);
        EXPECT_EQ(line.count, fadingProfile(fading)->count - 1);  // the line-of-sight row joins its tap
        EXPECT_NEAR(line.taps[line.count - 1].delay, fadingProfile(fading)->rows[line.count].delay * 100e-9 * 30.72e6,
                    1e-9);
    }
}

}  // namespace
