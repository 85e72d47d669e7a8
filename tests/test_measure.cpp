// Measurements without a record: levels and CCDF (against a sort), the
// occupied band and channel powers on spectra built to order, the seam, the
// refusals, the CCDF curve, memory that cannot be had.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "levels.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::exitUnderAddressSpaceCap;
using testing_support::kAddressSpaceCapUsable;
using testing_support::lastError;
using testing_support::sameBits;

GenSignalMeasureInput ci16(const std::vector<int16_t>& iq, double rate) {
    return {iq.data(), static_cast<int64_t>(iq.size()), GENSIGNAL_FORMAT_CI16, GENSIGNAL_RECORD_NONE, nullptr, 0, 0,
            rate};
}
GenSignalMeasureInput cf32(const std::vector<float>& iq, double rate) {
    return {iq.data(), static_cast<int64_t>(iq.size()), GENSIGNAL_FORMAT_CF32, GENSIGNAL_RECORD_NONE, nullptr, 0, 0,
            rate};
}

GenSignalMeasurement measured(const GenSignalMeasureInput& in, const GenSignalMeasureOptions* options = nullptr) {
    GenSignalMeasurement m{};
    EXPECT_EQ(GenSignalMeasure(&in, options, &m), 0) << lastError();
    return m;
}

// Sum of tones a * e^(2 pi i k j / n), k in bins, as float I/Q (1.0 = full scale).
std::vector<float> tones(int n, const std::vector<std::pair<int, double>>& bins) {
    std::vector<float> iq(2 * static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) {
        double re = 0, im = 0;
        for (const auto& [k, a] : bins) {
            const double phase = 6.283185307179586 * static_cast<double>((static_cast<int64_t>(k) * j) % n) / n;
            re += a * std::cos(phase);
            im += a * std::sin(phase);
        }
        iq[2 * j] = static_cast<float>(re);
        iq[2 * j + 1] = static_cast<float>(im);
    }
    return iq;
}

// The literal CCDF: every power sorted, the one ranked floor(p n) from the
// top over the mean, the rank-0 one being the peak itself.
template <class Power>
std::vector<double> sortedCcdf(size_t n, Power power, Power exactPower) {
    std::vector<double> p(n);
    double sum = 0, peak = 0;
    for (size_t i = 0; i < n; ++i) {
        p[i] = power(i);
        sum += exactPower(i);
        peak = std::max(peak, exactPower(i));
    }
    std::sort(p.begin(), p.end(), std::greater<double>());
    const double mean = sum / static_cast<double>(n);
    std::vector<double> out;
    for (double prob : kCcdfProbabilities) {
        const auto k = static_cast<size_t>(std::floor(prob * static_cast<double>(n)));
        const double v = k == 0 ? peak : p[k];
        out.push_back(v > 0 && mean > 0 ? 10.0 * std::log10(v / mean) : std::nan(""));
    }
    return out;
}

// Buffers with many equal powers and with all different ones, of lengths
// around the ranks' steps: the radix selection against the sort.
TEST(MeasureLevels, CcdfEqualsTheSortedPowers) {
    std::mt19937 rng(5);
    for (int n : {1, 2, 9, 10, 11, 99, 100, 101, 999, 1000, 1001, 9999, 10000, 10001, 65537, 200003}) {
        for (int spread : {3, 300, 32767}) {
            std::uniform_int_distribution<int> value(-spread - 1, spread);
            std::vector<int16_t> iq(2 * static_cast<size_t>(n));
            for (auto& v : iq) v = static_cast<int16_t>(value(rng));
            const auto power = [&](size_t i) {
                return double(iq[2 * i]) * iq[2 * i] + double(iq[2 * i + 1]) * iq[2 * i + 1];
            };
            const auto expected =
                sortedCcdf(n, std::function<double(size_t)>(power), std::function<double(size_t)>(power));
            const GenSignalMeasurement m = measured(ci16(iq, 1e6));
            for (int r = 0; r < 4; ++r)
                EXPECT_TRUE(sameBits(m.ccdfDb[r], expected[r]) || (std::isnan(m.ccdfDb[r]) && std::isnan(expected[r])))
                    << "n " << n << " spread " << spread << " p " << kCcdfProbabilities[r] << ": " << m.ccdfDb[r]
                    << " vs " << expected[r];

            // The same values as floats: ranked by their power over the peak
            // power rounded to float.
            std::vector<float> f(iq.size());
            for (size_t i = 0; i < iq.size(); ++i) f[i] = static_cast<float>(iq[i] / 32767.0);
            const auto exact = [&](size_t i) {
                const double re = double(f[2 * i]) * 32767.0, im = double(f[2 * i + 1]) * 32767.0;
                return re * re + im * im;
            };
            double peak = 0;
            for (size_t i = 0; i < f.size() / 2; ++i) peak = std::max(peak, exact(i));
            if (peak == 0) peak = 1;
            const auto rounded = [&](size_t i) {
                return static_cast<double>(static_cast<float>(exact(i) / peak)) * peak;
            };
            const auto floatExpected =
                sortedCcdf(n, std::function<double(size_t)>(rounded), std::function<double(size_t)>(exact));
            const GenSignalMeasurement mf = measured(cf32(f, 1e6));
            for (int r = 0; r < 4; ++r)
                EXPECT_TRUE(sameBits(mf.ccdfDb[r], floatExpected[r]) ||
                            (std::isnan(mf.ccdfDb[r]) && std::isnan(floatExpected[r])))
                    << "float n " << n << " spread " << spread << " p " << kCcdfProbabilities[r];
        }
    }
}

// Float samples far beyond full scale: their powers overflow a float, not
// the measurement.
TEST(MeasureLevels, HugeFloatSamples) {
    std::vector<float> iq;
    for (int i = 0; i < 5000; ++i) iq.insert(iq.end(), {i % 10 ? 1e37f : 3e38f, i % 7 ? -2e36f : 1e30f});
    const GenSignalMeasurement m = measured(cf32(iq, 1e6));
    for (double v : {m.peakDbfs, m.rmsDbfs, m.paprDb, m.ccdfDb[0], m.ccdfDb[1], m.ccdfDb[2], m.ccdfDb[3], m.obwHz})
        EXPECT_TRUE(std::isfinite(v)) << v;
    EXPECT_NEAR(m.ccdfDb[1], m.paprDb, 1e-5);  // every tenth sample is at the peak
}

// The spectrum of float samples scaled by a power of two, within full scale
// or far beyond it, is the same to the bit: the transform is scaled into
// its range, never carried past it.
TEST(MeasureSpectrum, PowerOfTwoScalesGiveTheSameBits) {
    const auto base = tones(4096, {{-100, 0.5}, {90, 0.25}, {1300, 1e-3}});
    const GenSignalMeasurement ref = measured(cf32(base, 4.096e6));
    ASSERT_TRUE(std::isfinite(ref.sfdrDb) && std::isfinite(ref.acprLowerDb) && std::isfinite(ref.acprUpperDb));
    for (int exponent : {-60, 20, 80, 110}) {
        std::vector<float> scaled(base);
        for (float& v : scaled) v = std::ldexp(v, exponent);
        const GenSignalMeasurement m = measured(cf32(scaled, 4.096e6));
        for (auto [a, b] : {std::pair{m.obwLowerHz, ref.obwLowerHz},
                            {m.obwUpperHz, ref.obwUpperHz},
                            {m.acprLowerDb, ref.acprLowerDb},
                            {m.acprUpperDb, ref.acprUpperDb},
                            {m.sfdrDb, ref.sfdrDb}})
            EXPECT_TRUE(sameBits(a, b)) << "2^" << exponent << ": " << a << " vs " << b;
    }
}

TEST(MeasureLevels, FullScaleToneOnABin) {
    const int n = 1000;
    const auto iq = tones(n, {{37, 1.0}});
    const GenSignalMeasurement m = measured(cf32(iq, 1e6));
    EXPECT_EQ(m.samples, n);
    EXPECT_NEAR(m.peakDbfs, 0.0, 1e-5);
    EXPECT_NEAR(m.rmsDbfs, 0.0, 1e-5);
    EXPECT_NEAR(m.paprDb, 0.0, 1e-5);
    for (double c : m.ccdfDb) EXPECT_NEAR(c, 0.0, 1e-5);
    // One bin of 1 kHz around 37 kHz holds it all.
    EXPECT_DOUBLE_EQ(m.obwLowerHz, 36500.0);
    EXPECT_DOUBLE_EQ(m.obwUpperHz, 37500.0);
    EXPECT_DOUBLE_EQ(m.obwHz, 1000.0);
    // The default channel, centred at 0 Hz, reaches out to hold that bin;
    // only the float rounding lies outside it.
    EXPECT_DOUBLE_EQ(m.channelBandwidthHz, 75000.0);
    EXPECT_GT(m.sfdrDb, 100.0);
    EXPECT_NEAR(m.seamRatio, 1.0, 1e-5);
    EXPECT_EQ(m.evmStatus, GENSIGNAL_EVM_NO_RECORD);
    EXPECT_TRUE(std::isnan(m.evmPercent) && std::isnan(m.evmPeakPercent) && std::isnan(m.merDb));
}

TEST(MeasureLevels, HalfScaleSquareWave) {
    // Power 16383^2 + 0 half the time, 0 the other half: PAPR 3 dB, and the
    // probabilities all fall among the samples at the peak.
    std::vector<int16_t> iq;
    for (int i = 0; i < 1000; ++i) iq.insert(iq.end(), {static_cast<int16_t>(i % 2 ? 16383 : 0), 0});
    const GenSignalMeasurement m = measured(ci16(iq, 1e3));
    EXPECT_DOUBLE_EQ(m.peakDbfs, 20 * std::log10(16383.0 / 32767.0));
    EXPECT_DOUBLE_EQ(m.rmsDbfs, 10 * std::log10(16383.0 * 16383.0 / 2 / (32767.0 * 32767.0)));
    EXPECT_DOUBLE_EQ(m.paprDb, 10 * std::log10(2.0));
    for (double c : m.ccdfDb) EXPECT_DOUBLE_EQ(c, m.paprDb);
}

struct SeamCase {
    std::vector<int16_t> iq;
    double ratio;
};

TEST(MeasureLevels, SeamRatio) {
    const std::vector<SeamCase> cases = {
        {{0, 0, 1, 0, 2, 0, 3, 0}, 3.0},   // a ramp: the wrap steps back 3 where each step is 1
        {{5, 5, 5, 5, 5, 5}, 0.0},         // nothing moves
        {{7, -7}, 0.0},                    // one sample: no step inside
        {{0, 0, 3, 4}, 1.0},               // two samples: the wrap is the step
        {{0, 0, 0, 10, 0, 0, 0, 5}, 0.5},  // the largest step inside is 10, the seam 5
    };
    for (const SeamCase& c : cases) EXPECT_DOUBLE_EQ(measured(ci16(c.iq, 1.0)).seamRatio, c.ratio);
}

TEST(MeasureLevels, SilenceAndNothingHaveNoLevels) {
    const std::vector<int16_t> silent(2000, 0);
    GenSignalMeasurement m = measured(ci16(silent, 1e3));
    EXPECT_TRUE(std::isnan(m.peakDbfs) && std::isnan(m.rmsDbfs) && std::isnan(m.paprDb));
    for (double c : m.ccdfDb) EXPECT_TRUE(std::isnan(c));
    EXPECT_TRUE(std::isnan(m.obwHz) && std::isnan(m.acprLowerDb) && std::isnan(m.sfdrDb));
    EXPECT_EQ(m.seamRatio, 0.0);

    const std::vector<int16_t> none;
    int16_t dummy = 0;
    GenSignalMeasureInput in = ci16(none, 1e3);
    in.samples = &dummy;
    m = measured(in);
    EXPECT_EQ(m.samples, 0);
    EXPECT_TRUE(std::isnan(m.peakDbfs) && std::isnan(m.obwHz));
}

// Five tones on bins -2 ... 2 holding 1, 1, 96, 1, 1 % of the power.
std::vector<float> fiveTones() { return tones(100, {{-2, 0.1}, {-1, 0.1}, {0, std::sqrt(0.96)}, {1, 0.1}, {2, 0.1}}); }

struct BandCase {
    double percent;
    double lower, upper;  // Hz; bins are 1 Hz wide
};

TEST(MeasureSpectrum, OccupiedBandFollowsTheRunningSum) {
    const auto iq = fiveTones();
    for (const BandCase& c :
         {BandCase{99, -2.5, 2.5}, BandCase{97, -1.5, 1.5}, BandCase{90, -0.5, 0.5}, BandCase{1, -0.5, 0.5}}) {
        const GenSignalMeasureOptions o{c.percent, 0, 0};
        const GenSignalMeasurement m = measured(cf32(iq, 100), &o);
        EXPECT_NEAR(m.obwLowerHz, c.lower, 1e-9) << c.percent;
        EXPECT_NEAR(m.obwUpperHz, c.upper, 1e-9) << c.percent;
    }
}

TEST(MeasureSpectrum, ChannelsTakeTheBinsWithinHalfTheirWidth) {
    // 1 Hz bins. Main channel 50 Hz wide: the tone at +25 Hz lies on its
    // edge and is inside, the one at +26 outside; the adjacent channel at
    // +100 Hz holds a tone 20 dB down.
    const auto iq = tones(1000, {{0, 0.5}, {25, 0.05}, {26, 0.005}, {100, 0.05}});
    const GenSignalMeasureOptions o{0, 50, 100};
    const GenSignalMeasurement m = measured(cf32(iq, 1000), &o);
    EXPECT_EQ(m.channelBandwidthHz, 50.0);
    EXPECT_EQ(m.channelSpacingHz, 100.0);
    EXPECT_NEAR(m.acprUpperDb, 10 * std::log10(0.0025 / (0.25 + 0.0025)), 1e-4);
    EXPECT_LT(m.acprLowerDb, -100.0);  // float rounding only
    EXPECT_NEAR(m.sfdrDb, 10 * std::log10(0.25 / 0.0025), 1e-4);

    // Adjacent channels beyond +-rate/2 are not measured; 475 + 25 still fits.
    for (double spacing : {475.0, 476.0}) {
        const GenSignalMeasureOptions far{0, 50, spacing};
        const GenSignalMeasurement f = measured(cf32(iq, 1000), &far);
        EXPECT_EQ(std::isnan(f.acprLowerDb), spacing > 475) << spacing;
        EXPECT_EQ(std::isnan(f.acprUpperDb), spacing > 475) << spacing;
    }
    // Channels narrower than a bin: the main one holds the bin at 0 Hz, the
    // adjacent ones between two bins hold none and have no ratio.
    const GenSignalMeasureOptions thin{0, 0.5, 100.5};
    const GenSignalMeasurement t = measured(cf32(iq, 1000), &thin);
    EXPECT_TRUE(std::isnan(t.acprLowerDb) && std::isnan(t.acprUpperDb));
    EXPECT_NEAR(t.sfdrDb, 10 * std::log10(0.25 / 0.0025), 1e-4);
    // A channel wider than the spectrum leaves nothing outside it.
    const GenSignalMeasureOptions all{0, 2000, 0};
    EXPECT_TRUE(std::isnan(measured(cf32(iq, 1000), &all).sfdrDb));
}

TEST(MeasureSpectrum, FrequenciesBeyondTheDoubleRangeHaveNoValue) {
    // At the largest finite rate the band's edges overflow: none, not infinity.
    const GenSignalMeasurement m = measured(cf32(fiveTones(), 1.7976931348623157e308));
    for (double v : {m.obwHz, m.obwLowerHz, m.obwUpperHz, m.channelBandwidthHz, m.channelSpacingHz})
        EXPECT_FALSE(std::isinf(v)) << v;
    EXPECT_TRUE(std::isfinite(m.paprDb));
}

TEST(MeasureSpectrum, DefaultChannelHoldsTheOccupiedBand) {
    const auto iq = fiveTones();
    const GenSignalMeasurement m = measured(cf32(iq, 100));
    EXPECT_EQ(m.channelBandwidthHz, m.obwHz);
    EXPECT_EQ(m.channelSpacingHz, m.obwHz);
    // A band off the centre: the channel reaches from -4.5 to 4.5 Hz.
    const GenSignalMeasurement off = measured(cf32(tones(100, {{3, 0.5}, {4, 0.5}}), 100));
    EXPECT_DOUBLE_EQ(off.obwHz, 2.0);
    EXPECT_DOUBLE_EQ(off.channelBandwidthHz, 9.0);
    const GenSignalMeasureOptions spaced{0, 0, 30};
    EXPECT_EQ(measured(cf32(iq, 100), &spaced).channelSpacingHz, 30.0);
}

// One refusal: how the input, options or result are spoiled, and the reason.
struct Refusal {
    const char* name;
    std::function<void(GenSignalMeasureInput&, GenSignalMeasureOptions&, bool& nullResult)> spoil;
    const char* reason;
};
void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class MeasureRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(MeasureRefuses, SaysWhyAndWritesNothing) {
    std::vector<float> iq = tones(64, {{3, 0.5}});
    iq[5] = GetParam().name == std::string("NanSample") ? NAN : iq[5];
    iq[6] = GetParam().name == std::string("InfiniteSample") ? -INFINITY : iq[6];
    GenSignalMeasureInput in = cf32(iq, 1e3);
    GenSignalMeasureOptions o{};
    bool nullResult = false;
    GetParam().spoil(in, o, nullResult);
    GenSignalMeasurement m;
    std::memset(&m, 0x5a, sizeof m);
    GenSignalMeasurement before = m;
    EXPECT_EQ(
        GenSignalMeasure(GetParam().name == std::string("NullInput") ? nullptr : &in, &o, nullResult ? nullptr : &m),
        -1);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0) << "the result was written";
    EXPECT_NE(lastError().find(GetParam().reason), std::string::npos) << lastError();
}

const auto keep = [](GenSignalMeasureInput&, GenSignalMeasureOptions&, bool&) {};

INSTANTIATE_TEST_SUITE_P(Inputs, MeasureRefuses,
                         ::testing::
                             Values(Refusal{"NullInput", keep, "GenSignalMeasure: input is a null pointer"},
                                    Refusal{"NullResult", [](auto&, auto&, bool& r) { r = true; },
                                            "result is a null pointer"},
                                    Refusal{"NullSamples", [](auto& in, auto&, bool&) { in.samples = nullptr; },
                                            "samples is a null pointer"},
                                    Refusal{"OddCount", [](auto& in, auto&, bool&) { in.valueCount = 7; },
                                            "valueCount = 7: must be even"},
                                    Refusal{"NegativeCount", [](auto& in, auto&, bool&) { in.valueCount = -2; },
                                            "valueCount = -2"},
                                    Refusal{"AbsurdCount",
                                            [](auto& in, auto&, bool&) { in.valueCount = int64_t{1} << 40; },
                                            "at most 2147483647 samples"},
                                    Refusal{"Format", [](auto& in, auto&, bool&) { in.format = 3; }, "format = 3"},
                                    Refusal{"NanRate", [](auto& in, auto&, bool&) { in.sampleRate = NAN; },
                                            "sampleRate = nan"},
                                    Refusal{"ZeroRate", [](auto& in, auto&, bool&) { in.sampleRate = 0; },
                                            "sampleRate = 0"},
                                    Refusal{"InfiniteRate", [](auto& in, auto&, bool&) { in.sampleRate = INFINITY; },
                                            "sampleRate = inf"},
                                    Refusal{"RecordKind", [](auto& in, auto&, bool&) { in.recordKind = 11; },
                                            "recordKind = 11"},
                                    Refusal{"NullRecord",
                                            [](auto& in, auto&, bool&) { in.recordKind = GENSIGNAL_RECORD_AM; },
                                            "record is a null pointer"},
                                    Refusal{"NanSample", keep, "value 5 is nan"},
                                    Refusal{"InfiniteSample", keep, "value 6 is -inf"},
                                    Refusal{"NanObw", [](auto&, auto& o, bool&) { o.obwPercent = NAN; },
                                            "obwPercent = nan"},
                                    Refusal{"ObwAbove100", [](auto&, auto& o, bool&) { o.obwPercent = 100.5; },
                                            "obwPercent = 100.5"},
                                    Refusal{"NegativeObw", [](auto&, auto& o, bool&) { o.obwPercent = -1; },
                                            "obwPercent = -1"},
                                    Refusal{"NegativeBandwidth", [](auto&, auto& o, bool&) { o.channelBandwidth = -5; },
                                            "channelBandwidth = -5"},
                                    Refusal{
                                        "InfiniteBandwidth", [](auto&, auto& o, bool&) { o.channelBandwidth = INFINITY; },
                                        "channelBandwidth = inf"},
                                    Refusal{
                                        "NanSpacing", [](auto&, auto& o, bool&) { o.channelSpacing = NAN; },
                                        "channelSpacing = nan"},
                                    Refusal{
                                        "BadRecord",
                                        [](auto& in, auto&, bool&) {
                                            static DigitalModParams p{};
                                            p.modType = static_cast<DigitalModulType>(40);
                                            in.recordKind = GENSIGNAL_RECORD_DIGITAL;
                                            in.record = &p;
                                        },
                                        "DigitalModParams.modType = 40"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The curve sorts; the four points are selected by radix counts in long
// buffers and sorted in short ones: the same keys either way.
TEST(MeasureCcdf, CurveAgreesWithTheFourPoints) {
    std::mt19937 rng(11);
    std::normal_distribution<double> g(0, 6000);
    std::vector<int16_t> iq;  // the last buffer serves the refusals below
    GenSignalMeasureInput in{};
    double levels[6] = {};
    for (size_t samples : {3000, 8191, 8192, 10001, 70000}) {
        iq.assign(2 * samples, 0);
        for (auto& v : iq) v = static_cast<int16_t>(std::clamp(g(rng), -32768.0, 32767.0));
        in = ci16(iq, 1e6);
        const GenSignalMeasurement m = measured(in);
        const double probabilities[6] = {1e-1, 1e-2, 1e-3, 1e-4, 0.0, 0.5};
        ASSERT_EQ(GenSignalMeasureCcdf(&in, probabilities, 6, levels), 0) << lastError();
        for (int r = 0; r < 4; ++r) EXPECT_TRUE(sameBits(levels[r], m.ccdfDb[r])) << samples << " samples, " << r;
        EXPECT_TRUE(sameBits(levels[4], m.paprDb)) << samples;
        EXPECT_LT(levels[5], 0.0);  // the median of exponential powers lies below their mean
    }

    for (double bad : {1.0, -0.1, std::nan("")}) {
        double out[1] = {42};
        EXPECT_EQ(GenSignalMeasureCcdf(&in, &bad, 1, out), -1);
        EXPECT_EQ(out[0], 42);
        EXPECT_NE(lastError().find("probabilities[0]"), std::string::npos) << lastError();
    }
    EXPECT_EQ(GenSignalMeasureCcdf(&in, nullptr, 1, levels), -1);
    EXPECT_EQ(GenSignalMeasureCcdf(&in, nullptr, 0, nullptr), 0);
}

// A buffer of 4M samples under a cap that holds it but not its spectrum
// (32 MiB), then one that holds the spectrum but not FFTW's working arrays:
// refused with the reason, the process alive, nothing kept.
TEST(MeasureOutOfMemory, RefusesWhatItCannotHave) {
    if (!kAddressSpaceCapUsable) GTEST_SKIP() << "address-space cap unusable under sanitizers";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::vector<int16_t> iq(8 << 20, 100);
    const std::pair<size_t, const char*> cases[] = {{16, "out of memory: 33554432 bytes for the buffer's spectrum"},
                                                    {40, "bytes for the buffer's transform"}};
    for (const auto& [headroomMiB, reason] : cases) {
        EXPECT_EXIT(exitUnderAddressSpaceCap(
                        headroomMiB << 20,
                        [&] {
                            GenSignalMeasurement m{};
                            const GenSignalMeasureInput in = ci16(iq, 1e6);
                            const int rc = GenSignalMeasure(&in, nullptr, &m);
                            const std::string why = lastError();
                            std::fprintf(stderr, "%d %s\n", rc, why.c_str());
                            return rc == -1 && why.find(reason) != std::string::npos && m.samples == 0 ? 0 : 1;
                        }),
                    ::testing::ExitedWithCode(0), "")
            << headroomMiB << " MiB";
    }
}

}  // namespace
