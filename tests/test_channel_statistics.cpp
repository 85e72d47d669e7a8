// The channel's random stages by their statistics over several seeds: the
// noise's realised level in each of its four ways, EVM against the record,
// Gaussian noise that stays Gaussian when band-limited, phase noise that
// follows its mask, and fading whose envelope, lines and power are the
// Jakes / Rayleigh ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "additiveNoise.h"
#include "channelSupport.h"
#include "fourierTransform.h"

namespace {

using namespace testing_support;
using C = std::complex<double>;
constexpr double kPi = 3.141592653589793;

std::vector<std::complex<double>> spectrum(const std::vector<std::complex<float>>& x) {
    std::vector<C> in(x.begin(), x.end()), out(x.size());
    Dft<double> dft;
    EXPECT_TRUE(dft.plan(static_cast<int>(x.size()), in.data(), out.data(), DftDirection::forward));
    dft.execute(in.data(), out.data());
    return out;
}

double meanPower(const std::vector<std::complex<float>>& x) {
    double s = 0;
    for (const auto& v : x) s += std::norm(C(v.real(), v.imag()));
    return s / static_cast<double>(x.size());
}

// What the noise stage added: the output less the input, as doubles.
std::vector<std::complex<float>> added(const std::vector<std::complex<float>>& out,
                                       const std::vector<std::complex<float>>& in) {
    std::vector<std::complex<float>> w(out.size());
    for (size_t i = 0; i < w.size(); ++i) w[i] = out[i] - in[i];
    return w;
}

std::vector<std::complex<float>> qpskFloats(int symbols, double rate) {
    const std::vector<int16_t> iq = qpskBuffer(qpskRecord(), symbols, rate);
    std::vector<std::complex<float>> x(iq.size() / 2);
    for (size_t i = 0; i < x.size(); ++i) x[i] = {static_cast<float>(iq[2 * i]), static_cast<float>(iq[2 * i + 1])};
    return x;
}

TEST(ChannelNoiseLevel, EachWayRealisesItsRatioInItsBandWithin0Point01Db) {
    const double rate = 8e6;
    const std::vector<std::complex<float>> clean = qpskFloats(4096, rate);
    struct Case {
        int mode;
        double db, bandwidth;
    } const cases[] = {{GENSIGNAL_NOISE_SNR, 12, 0},
                       {GENSIGNAL_NOISE_ESN0, 20, 0},
                       {GENSIGNAL_NOISE_EBN0, 7, 0},
                       {GENSIGNAL_NOISE_CN, 15, 1.35e6},
                       {GENSIGNAL_NOISE_CN, -3, 200e3}};
    for (const Case& k : cases)
        for (uint64_t seed : {1ull, 77ull, 12345ull}) {
            GenSignalChannel c = channelOff(seed);
            c.noiseMode = k.mode;
            c.noiseDb = k.db;
            c.noiseBandwidthHz = k.bandwidth;
            std::vector<std::complex<float>> x = clean;
            GenSignalChannelRealised r{};
            ASSERT_EQ(applyInPlace(c, x, rate, r, 8, 2), 0);
            const std::vector<std::complex<float>> w = added(x, clean);
            const double signal = meanPower(clean);
            double noise = meanPower(w);
            if (k.mode == GENSIGNAL_NOISE_CN) {
                const std::vector<C> W = spectrum(w);
                const int64_t n = static_cast<int64_t>(w.size());
                noise = 0;
                for (int64_t b = 0; b < n; ++b)
                    if (std::fabs((b > (n - 1) / 2 ? b - n : b) * rate / n) <= k.bandwidth / 2)
                        noise += std::norm(W[b]);
                noise /= static_cast<double>(n) * n;
            }
            // Es/N0 = SNR + 10 log10(8); Eb/N0 = Es/N0 - 10 log10(2).
            const double offset = k.mode == GENSIGNAL_NOISE_ESN0   ? 10 * std::log10(8.0)
                                  : k.mode == GENSIGNAL_NOISE_EBN0 ? 10 * std::log10(4.0)
                                                                   : 0;
            EXPECT_NEAR(10 * std::log10(signal / noise) + offset, k.db, 0.01) << "mode " << k.mode << " seed " << seed;
            EXPECT_NEAR(r.snrInBandDb + offset, k.db, 0.01);
        }
}

TEST(ChannelNoiseLevel, EvmOfQpskFollowsEsN0) {
    // RRC at 8 samples per symbol: EVM = 100 / sqrt(Es/N0) % after the matched filter.
    const DigitalModParams p = qpskRecord();
    const int symbols = 16384;
    const std::vector<int16_t> iq = qpskBuffer(p, symbols, 8e6);
    for (double esn0 : {10.0, 20.0, 30.0}) {
        GenSignalChannel c = channelOff(3);
        c.noiseMode = GENSIGNAL_NOISE_ESN0;
        c.noiseDb = esn0;
        Handle h;
        const Impaired got = impair(h.id, c, inputOf(iq, 8e6, GENSIGNAL_RECORD_DIGITAL, &p, symbols));
        ASSERT_EQ(got.rc, 0) << got.reason;
        EXPECT_NEAR(got.realised.esn0Db, esn0, 0.01);
        GenSignalMeasureInput in = inputOf(got.iq, 8e6, GENSIGNAL_RECORD_DIGITAL, &p, symbols);
        GenSignalMeasurement m{};
        ASSERT_EQ(GenSignalMeasure(&in, nullptr, &m), 0) << lastError();
        const double expected = 100 / std::sqrt(std::pow(10.0, esn0 / 10));
        EXPECT_NEAR(m.evmPercent / expected, 1, 0.05) << "Es/N0 " << esn0 << " dB";
    }
}

TEST(ChannelNoiseShape, BandLimitedNoiseStaysGaussian) {
    // 4 10^6 samples of the channel's noise band-limited to 5 % of the rate:
    // excess kurtosis within +-0.02 per rail, the CCDF at 1e-4 within 0.15 dB
    // of a complex Gaussian's 9.64 dB.
    const int n = 4000000;
    const std::vector<std::complex<float>> clean(n, std::complex<float>(1, 0));
    for (uint64_t seed : {11ull, 12ull, 13ull}) {
        GenSignalChannel c = channelOff(seed);
        c.noiseMode = GENSIGNAL_NOISE_SNR;
        c.noiseDb = 0;
        std::vector<std::complex<float>> x = clean;
        GenSignalChannelRealised r{};
        ASSERT_EQ(applyInPlace(c, x, 1e6, r), 0);
        std::vector<C> W = spectrum(added(x, clean));
        for (int b = 0; b < n; ++b)
            if (std::abs(b > n / 2 ? b - n : b) > n / 40) W[b] = 0;  // +-2.5 %: 5 % of the rate
        std::vector<C> w(n);
        Dft<double> back;
        ASSERT_TRUE(back.plan(n, W.data(), w.data(), DftDirection::backward));
        back.execute(W.data(), w.data());
        double moments[2][2] = {};
        std::vector<double> power(n);
        double mean = 0;
        for (int i = 0; i < n; ++i) {
            const double rails[2] = {w[i].real(), w[i].imag()};
            for (int k = 0; k < 2; ++k) {
                moments[k][0] += rails[k] * rails[k];
                moments[k][1] += rails[k] * rails[k] * rails[k] * rails[k];
            }
            power[i] = std::norm(w[i]);
            mean += power[i] / n;
        }
        for (int k = 0; k < 2; ++k) {
            const double var = moments[k][0] / n;
            EXPECT_NEAR(moments[k][1] / n / (var * var) - 3, 0, 0.02) << "seed " << seed << " rail " << k;
        }
        std::nth_element(power.begin(), power.begin() + n / 10000, power.end(), std::greater<double>());
        EXPECT_NEAR(10 * std::log10(power[n / 10000] / mean), 9.64, 0.15) << "seed " << seed;
    }
}

// 2 int L(f) df from fs/n to fs/2 for the mask, linear in dB against log f.
double integratedPhaseError(const std::vector<std::pair<double, double>>& mask, double low, double high) {
    auto level = [&](double f) {
        if (f <= mask.front().first) return mask.front().second;
        if (f >= mask.back().first) return mask.back().second;
        size_t i = 0;
        while (f >= mask[i + 1].first) ++i;
        const double x =
            (std::log10(f) - std::log10(mask[i].first)) / (std::log10(mask[i + 1].first) - std::log10(mask[i].first));
        return mask[i].second + (mask[i + 1].second - mask[i].second) * x;
    };
    double sum = 0;
    const int steps = 200000;
    for (int s = 0; s < steps; ++s) {  // midpoints on a log grid
        const double a = low * std::pow(high / low, static_cast<double>(s) / steps);
        const double b = low * std::pow(high / low, static_cast<double>(s + 1) / steps);
        sum += std::pow(10.0, level(std::sqrt(a * b)) / 10) * (b - a);
    }
    return 2 * sum;
}

TEST(ChannelPhaseNoise, AToneFollowsTheMaskAndIntegratesToIt) {
    const int n = 1 << 16;
    const double rate = 1e6, binWidth = rate / n;
    const std::vector<std::pair<double, double>> mask = {{100, -70}, {1e3, -80}, {1e4, -95}, {1e5, -110}};
    std::vector<std::complex<float>> tone(n);
    for (int m = 0; m < n; ++m) tone[m] = std::polar(1000.0f, static_cast<float>(2 * kPi * 1000.0 * m / n));
    std::vector<double> average(n, 0);
    double variance = 0;
    const int seeds = 8;
    for (int seed = 0; seed < seeds; ++seed) {
        GenSignalChannel c = channelOff(static_cast<uint64_t>(seed));
        setMask(c, {{100, -70}, {1e3, -80}, {1e4, -95}, {1e5, -110}});
        std::vector<std::complex<float>> x = tone;
        GenSignalChannelRealised r{};
        ASSERT_EQ(applyInPlace(c, x, rate, r), 0);
        const double rms = r.phaseNoiseRmsDeg * kPi / 180;
        variance += rms * rms / seeds;
        const std::vector<C> X = spectrum(x);
        for (int b = 0; b < n; ++b) average[b] += std::norm(X[b]) / seeds;
    }
    for (const auto& [f, dbc] : mask)
        for (int side : {1, -1}) {
            const int bin = (1000 + side * static_cast<int>(std::lround(f / binWidth)) + n) % n;
            EXPECT_NEAR(10 * std::log10(average[bin] / average[1000] / binWidth), dbc, 1.0)
                << f << " Hz, side " << side;
        }
    EXPECT_NEAR(10 * std::log10(variance / integratedPhaseError(mask, binWidth, rate / 2)), 0, 0.5);
}

// One Rayleigh tap over a long loop: its gain is the output for an input of 1.
std::vector<std::complex<float>> rayleighGain(uint64_t seed, int n, double rate, double doppler) {
    GenSignalChannel c = channelOff(seed);
    c.fading = GENSIGNAL_FADING_RAYLEIGH;
    c.dopplerHz = doppler;
    std::vector<std::complex<float>> x(n, std::complex<float>(1, 0));
    GenSignalChannelRealised r{};
    EXPECT_EQ(applyInPlace(c, x, rate, r), 0);
    return x;
}

TEST(ChannelFading, ARayleighEnvelopePassesKolmogorovSmirnov) {
    // 200 s at 1 kHz with fD = 10 Hz: 4001 lines; one envelope sample every
    // 50 ms (half a Doppler period apart: nearly independent), 4000 of them.
    const int n = 200000;
    for (uint64_t seed : {1ull, 2ull}) {
        const std::vector<std::complex<float>> h = rayleighGain(seed, n, 1e3, 10);
        std::vector<double> envelope;
        double power = 0;
        for (int i = 0; i < n; i += 50) envelope.push_back(std::abs(h[i]));
        for (const auto& v : h) power += std::norm(v) / n;
        std::sort(envelope.begin(), envelope.end());
        const double m = static_cast<double>(envelope.size());
        double d = 0;
        for (size_t i = 0; i < envelope.size(); ++i) {
            const double cdf = 1 - std::exp(-envelope[i] * envelope[i] / power);  // Rayleigh of this power
            d = std::max({d, std::fabs(cdf - i / m), std::fabs(cdf - (i + 1) / m)});
        }
        EXPECT_LT(d, 1.63 / std::sqrt(m)) << "seed " << seed;  // the 1 % critical value
    }
}

TEST(ChannelFading, DopplerLinesLieOnTheLoopsGridWithinFd) {
    const int n = 1 << 16;
    const double rate = 1e5, doppler = 30;  // fD T = 19.7: lines m / T, |m| <= 19
    const std::vector<std::complex<float>> h = rayleighGain(5, n, rate, doppler);
    const std::vector<C> H = spectrum(h);
    const int M = static_cast<int>(std::floor(doppler * n / rate));
    double inside = 0, outside = 0;
    for (int b = 0; b < n; ++b) (std::abs(b > n / 2 ? b - n : b) <= M ? inside : outside) += std::norm(H[b]);
    EXPECT_LT(10 * std::log10(outside / inside), -90);
    GenSignalChannel c = channelOff(5);
    c.fading = GENSIGNAL_FADING_RAYLEIGH;
    c.dopplerHz = doppler;
    std::vector<std::complex<float>> x(n, std::complex<float>(1, 0));
    GenSignalChannelRealised r{};
    ASSERT_EQ(applyInPlace(c, x, rate, r), 0);
    EXPECT_EQ(r.dopplerLines, 2 * M + 1);
    EXPECT_DOUBLE_EQ(r.dopplerSpacingHz, rate / n);
    EXPECT_LE(r.dopplerHighestHz, doppler);
    EXPECT_DOUBLE_EQ(r.dopplerHighestHz, M * rate / n);
}

TEST(ChannelFading, MeanPowerOverSeedsIsZeroDbForEveryProfile) {
    // Static taps (the spread of one seed's power is widest): 2000 seeds put
    // the mean within about 0.05 dB (one standard deviation) for EVA.
    const int n = 1024;
    for (int fading : {GENSIGNAL_FADING_EVA, GENSIGNAL_FADING_TDL_C, GENSIGNAL_FADING_TDL_D, GENSIGNAL_FADING_RICIAN}) {
        double sum = 0;
        const int seeds = 2000;
        for (int seed = 0; seed < seeds; ++seed) {
            GenSignalChannel c = channelOff(static_cast<uint64_t>(seed));
            c.fading = fading;
            c.delaySpread = 300e-9;
            c.dopplerHz = 0;
            c.ricianKDb = 3;
            std::vector<std::complex<float>> x(n, std::complex<float>(1, 0));
            GenSignalChannelRealised r{};
            ASSERT_EQ(applyInPlace(c, x, 30.72e6, r), 0);
            sum += std::pow(10.0, r.fadingPowerDb / 10) / seeds;
        }
        EXPECT_NEAR(10 * std::log10(sum), 0, 0.2) << "fading " << fading;
    }
}

TEST(ChannelFading, StaticTapsKeepOneGainOverTheBuffer) {
    const std::vector<std::complex<float>> h = rayleighGain(9, 5000, 1e6, 0);
    for (const auto& v : h) ASSERT_EQ(v, h[0]);
}

}  // namespace
