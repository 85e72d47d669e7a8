// The channel as a host calls it (GenSignalApplyChannel): a loop stays a
// loop, every refusal in one table (each touching nothing and naming the
// field), the loop rules refused in the exact mode and noted in the defined
// one, the same bytes at any thread count and with either kernel set, and
// the output scaled and rounded as the frame scales.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "channelSupport.h"
#include "cpuDispatch.h"
#include "exactModeSupport.h"

namespace {

using namespace testing_support;
using C = std::complex<double>;

constexpr double kRate = 8e6;

// Every deterministic stage on, the loop rules kept for a buffer of `n`
// samples at kRate (Doppler lines, a whole-cycle offset, the mask above
// rate / n); noise off.
GenSignalChannel everyDeterministicStage(int64_t n) {
    GenSignalChannel c = channelOff(21);
    c.paModel = GENSIGNAL_PA_RAPP;
    c.paBackoffDb = 3;
    c.fading = GENSIGNAL_FADING_EVA;
    c.dopplerHz = 8 * kRate / static_cast<double>(n);  // fD T = 8
    c.timingOffset = 0.37;
    c.cfoHz = 5 * kRate / static_cast<double>(n);
    c.phaseOffsetDeg = 20;
    setMask(c, {{2 * kRate / static_cast<double>(n), -70}, {1e5, -100}});
    c.iqGainDb = 0.5;
    c.iqPhaseDeg = 2;
    c.dcEnabled = 1;
    c.dcDbc = -25;
    return c;
}

TEST(ChannelLoop, EveryDeterministicStageKeepsTheSeamSmooth) {
    Handle h;
    ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT), 0);
    const DigitalModParams p = qpskRecord();
    const std::vector<int16_t> iq = qpskBuffer(p, 4000, kRate, h.id);  // an exact loop of 32000 samples
    const GenSignalChannel c = everyDeterministicStage(static_cast<int64_t>(iq.size() / 2));
    const Impaired got = impair(h.id, c, inputOf(iq, kRate, GENSIGNAL_RECORD_DIGITAL, &p, 4000));
    ASSERT_EQ(got.rc, 0) << got.reason;
    EXPECT_STREQ(got.realised.note, "");
    const size_t n = got.floats.size() / 2;
    double largest = 0;
    for (size_t i = 1; i < n; ++i) largest = std::max(largest, std::abs(got.at(i) - got.at(i - 1)));
    EXPECT_LE(std::abs(got.at(0) - got.at(n - 1)), largest);
    EXPECT_EQ(got.realised.cfoCloses, 1);
}

struct Refusal {
    const char* name;
    std::function<void(GenSignalChannel&, GenSignalMeasureInput&)> change;
    const char* reason;
    bool exact = false;  // refused only on a handle in the exact mode
};

// A 1000-sample buffer at 8 MS/s (T = 125 us, a loop closes on multiples of 8 kHz).
const Refusal kRefusals[] = {
    {"format", [](GenSignalChannel&, GenSignalMeasureInput& in) { in.format = 3; }, "GenSignalMeasureInput.format = 3"},
    {"oddCount", [](GenSignalChannel&, GenSignalMeasureInput& in) { in.valueCount = 1999; },
     "GenSignalMeasureInput.valueCount = 1999"},
    {"emptyBuffer", [](GenSignalChannel&, GenSignalMeasureInput& in) { in.valueCount = 0; },
     "GenSignalMeasureInput.valueCount = 0"},
    {"rate", [](GenSignalChannel&, GenSignalMeasureInput& in) { in.sampleRate = NAN; },
     "GenSignalMeasureInput.sampleRate = nan"},
    {"recordWithoutPointer",
     [](GenSignalChannel&, GenSignalMeasureInput& in) {
         in.recordKind = GENSIGNAL_RECORD_DIGITAL;
         in.record = nullptr;
     },
     "GenSignalMeasureInput.record is a null pointer"},
    {"reserved", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.reserved[5] = 1; },
     "GenSignalChannel.reserved[5] = 1"},
    {"paModel", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.paModel = 3; }, "GenSignalChannel.paModel = 3"},
    {"paBackoffNan", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.paBackoffDb = NAN; },
     "GenSignalChannel.paBackoffDb = nan"},
    {"paSmoothness", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.paSmoothness = 0.01; },
     "GenSignalChannel.paSmoothness = 0.01"},
    {"salehBeta", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.salehBetaA = -1; },
     "GenSignalChannel.salehBetaA = -1"},
    {"fading", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.fading = 12; }, "GenSignalChannel.fading = 12"},
    {"tdlWithoutSpread", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.fading = GENSIGNAL_FADING_TDL_A; },
     "GenSignalChannel.delaySpread = 0: TDL-A to TDL-E need"},
    {"dopplerInf", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.dopplerHz = INFINITY; },
     "GenSignalChannel.dopplerHz = inf"},
    {"tapsWithoutTaps", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.fading = GENSIGNAL_FADING_TAPS; },
     "GenSignalChannel.tapCount = 0: GENSIGNAL_FADING_TAPS needs"},
    {"tapDelay",
     [](GenSignalChannel& c, GenSignalMeasureInput&) {
         c.tapCount = 2;
         c.taps[1].delay = -1e-6;
     },
     "GenSignalChannel.taps[1].delay = -1e-06"},
    {"tapRician",
     [](GenSignalChannel& c, GenSignalMeasureInput&) {
         c.tapCount = 1;
         c.taps[0].rician = 2;
     },
     "GenSignalChannel.taps[0].rician = 2"},
    {"timing", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.timingOffset = -INFINITY; },
     "GenSignalChannel.timingOffset = -inf"},
    {"cfoBeyondNyquist", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.cfoHz = 4.5e6; },
     "GenSignalChannel.cfoHz = 4500000: must lie within"},
    {"maskOrder",
     [](GenSignalChannel& c, GenSignalMeasureInput&) {
         setMask(c, {{1e5, -90}, {1e4, -80}});
     },
     "GenSignalChannel.phaseNoiseOffsetHz[1] = 10000: the offsets must ascend"},
    {"maskLevel",
     [](GenSignalChannel& c, GenSignalMeasureInput&) {
         setMask(c, {{1e5, 10}});
     },
     "GenSignalChannel.phaseNoiseDbcHz[0] = 10"},
    {"maskPoints", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.phaseNoisePoints = 17; },
     "GenSignalChannel.phaseNoisePoints = 17"},
    {"noiseMode", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.noiseMode = 5; },
     "GenSignalChannel.noiseMode = 5"},
    {"cnWithoutBand",
     [](GenSignalChannel& c, GenSignalMeasureInput&) {
         c.noiseMode = GENSIGNAL_NOISE_CN;
         c.noiseDb = 10;
     },
     "GenSignalChannel.noiseBandwidthHz = 0: C/N needs"},
    {"esn0WithoutSymbols", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.noiseMode = GENSIGNAL_NOISE_ESN0; },
     "GenSignalChannel.noiseMode = 2 (Es/N0): needs the samples per symbol"},
    {"ebn0WithoutBits",
     [](GenSignalChannel& c, GenSignalMeasureInput&) {
         c.noiseMode = GENSIGNAL_NOISE_EBN0;
         c.samplesPerSymbol = 8;
     },
     "GenSignalChannel.noiseMode = 3 (Eb/N0): needs the samples and bits per symbol"},
    {"iqPhase", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.iqPhaseDeg = 90; },
     "GenSignalChannel.iqPhaseDeg = 90"},
    {"dcEnabled", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.dcEnabled = 2; },
     "GenSignalChannel.dcEnabled = 2"},
    {"cfoOffTheGrid", [](GenSignalChannel& c, GenSignalMeasureInput&) { c.cfoHz = 10e3; },
     "GenSignalChannel.cfoHz = 10000: not a whole number of cycles over the loop of 1000 samples at sampleRate = "
     "8000000, which closes on multiples of 8000 Hz; the nearest that closes is 8000",
     true},
    {"maskBelowResolution",
     [](GenSignalChannel& c, GenSignalMeasureInput&) {
         setMask(c, {{1e3, -80}});
     },
     "GenSignalChannel.phaseNoiseOffsetHz[0] = 1000: below the lowest offset the loop of 1000 samples resolves, "
     "sampleRate / samples = 8000 Hz; a loop of at least 0.001 s holds it",
     true},
    {"fewDopplerLines",
     [](GenSignalChannel& c, GenSignalMeasureInput&) {
         c.fading = GENSIGNAL_FADING_RAYLEIGH;
         c.dopplerHz = 20e3;
     },
     "GenSignalChannel.dopplerHz = 20000: the loop of 1000 samples (0.000125 s) holds 2.5 Doppler periods, 5 lines "
     "within +-20000 Hz; at least 8 lines need a loop of at least 0.0002 s",
     true},
};

class ChannelRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ChannelRefusal, TouchesNothingAndNamesTheField) {
    const Refusal& r = GetParam();
    std::vector<int16_t> iq(2000, 100);
    for (size_t i = 0; i < iq.size(); ++i) iq[i] = static_cast<int16_t>(1000 * std::sin(0.3 * i));
    GenSignalChannel c = channelOff();
    GenSignalMeasureInput in = inputOf(iq, kRate);
    r.change(c, in);
    for (bool exact : {false, true}) {
        Handle h;
        ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, exact), 0);
        std::vector<float> floats(2000, 7.0f);
        GenSignalChannelRealised realised;
        std::memset(&realised, 0x5a, sizeof realised);
        const GenSignalChannelRealised before = realised;
        int16_t sentinel = 0;
        int16_t* out = &sentinel;
        int count = -12345;
        const int rc = GenSignalApplyChannel(h.id, &c, &in, floats.data(), &out, &count, &realised);
        if (r.exact && !exact) {
            // The defined mode applies it and says why the loop will not close.
            EXPECT_EQ(rc, 0) << lastError();
            EXPECT_NE(std::string(realised.note).find(r.reason), std::string::npos) << realised.note;
            char note[512];
            GenSignalGetNote(h.id, note, sizeof note);
            EXPECT_STREQ(note, realised.note);
            continue;
        }
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(out, &sentinel);
        EXPECT_EQ(count, -12345);
        EXPECT_EQ(std::memcmp(&realised, &before, sizeof realised), 0) << "realised was written";
        for (float v : floats) ASSERT_EQ(v, 7.0f) << "impaired was written";
        EXPECT_NE(lastError().find(r.reason), std::string::npos) << lastError();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ChannelRefusal, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST(ChannelRefusal, NullPointersAndDeadHandlesAreNamed) {
    const std::vector<int16_t> iq(200, 1);
    const GenSignalChannel c = channelOff();
    const GenSignalMeasureInput in = inputOf(iq, kRate);
    Handle h;
    int16_t* out = nullptr;
    int count = 0;
    EXPECT_EQ(GenSignalApplyChannel(h.id, nullptr, &in, nullptr, &out, &count, nullptr), -1);
    EXPECT_NE(lastError().find("channel is a null pointer"), std::string::npos);
    EXPECT_EQ(GenSignalApplyChannel(h.id, &c, nullptr, nullptr, &out, &count, nullptr), -1);
    EXPECT_NE(lastError().find("input is a null pointer"), std::string::npos);
    EXPECT_EQ(GenSignalApplyChannel(h.id, &c, &in, nullptr, nullptr, &count, nullptr), -1);
    EXPECT_NE(lastError().find("iq is a null pointer"), std::string::npos);
    EXPECT_EQ(GenSignalApplyChannel(-7, &c, &in, nullptr, &out, &count, nullptr), -1);
    EXPECT_NE(lastError().find("handle -7"), std::string::npos);
    std::vector<float> bad(200, 0.5f);
    bad[13] = NAN;
    GenSignalMeasureInput floats = in;
    floats.format = GENSIGNAL_FORMAT_CF32;
    floats.samples = bad.data();
    EXPECT_EQ(GenSignalApplyChannel(h.id, &c, &floats, nullptr, &out, &count, nullptr), -1);
    EXPECT_NE(lastError().find("value 13 is nan"), std::string::npos);
    DSSParams dss{};
    dss.bitRate = 1e4;
    GenSignalChannel esn0 = channelOff();
    esn0.noiseMode = GENSIGNAL_NOISE_ESN0;
    const GenSignalMeasureInput spread = inputOf(iq, kRate, GENSIGNAL_RECORD_DSS, &dss);
    EXPECT_EQ(GenSignalApplyChannel(h.id, &esn0, &spread, nullptr, &out, &count, nullptr), -1);
    EXPECT_NE(lastError().find("spread spectrum has no symbol energy"), std::string::npos);
    // Samples whose squares underflow float fix no scale: refused before the host's floats are written.
    std::vector<float> tiny(200, 1e-30f), written(200, 3.0f);
    GenSignalMeasureInput faint = in;
    faint.format = GENSIGNAL_FORMAT_CF32;
    faint.samples = tiny.data();
    EXPECT_EQ(GenSignalApplyChannel(h.id, &c, &faint, written.data(), &out, &count, nullptr), -1);
    EXPECT_NE(lastError().find("too small to scale into 16 bits"), std::string::npos) << lastError();
    for (float v : written) ASSERT_EQ(v, 3.0f);
    // fD T from fD / fs times n: finite at a rate where n / fs overflows.
    GenSignalChannel slow = channelOff();
    slow.fading = GENSIGNAL_FADING_RAYLEIGH;
    slow.dopplerHz = 4e-301;
    GenSignalMeasureInput absurd = in;
    absurd.sampleRate = 1e-300;
    GenSignalChannelRealised got{};
    EXPECT_EQ(GenSignalApplyChannel(h.id, &slow, &absurd, nullptr, &out, &count, &got), 0) << lastError();
    EXPECT_EQ(got.dopplerLines, 2 * 40 + 1);
    // A Doppler of half the rate over 2^17 samples: 2^17 + 1 lines at every sample, refused before any work.
    const std::vector<int16_t> long_(1 << 18, 3);
    GenSignalChannel fast = channelOff();
    fast.fading = GENSIGNAL_FADING_RAYLEIGH;
    fast.dopplerHz = kRate / 2;
    const GenSignalMeasureInput longInput = inputOf(long_, kRate);
    EXPECT_EQ(GenSignalApplyChannel(h.id, &fast, &longInput, nullptr, &out, &count, nullptr), -1);
    EXPECT_NE(lastError().find("GenSignalChannel.dopplerHz = 4000000: 131073 Doppler lines per tap over 131072 "
                               "samples are beyond the work"),
              std::string::npos)
        << lastError();
}

// The whole chain's bytes on one buffer.
std::vector<std::complex<float>> wholeChain(int64_t n, int threads) {
    const std::vector<std::complex<float>> x = [&] {
        std::vector<std::complex<float>> v(n);
        for (int64_t i = 0; i < n; ++i) v[i] = std::polar(1000.0f, static_cast<float>(0.001 * i * i + 0.3 * i));
        return v;
    }();
    GenSignalChannel c = everyDeterministicStage(n);
    c.fading = GENSIGNAL_FADING_TDL_D;
    c.delaySpread = 300e-9;
    c.noiseMode = GENSIGNAL_NOISE_CN;
    c.noiseDb = 20;
    c.noiseBandwidthHz = 1e6;
    std::vector<std::complex<float>> y = x;
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    GenSignalChannelRealised r{};
    EXPECT_EQ(applyInPlace(c, y, kRate, r), 0) << lastError();
    omp_set_num_threads(saved);
    return y;
}

TEST(ChannelReproducibility, TheSameBytesAtAnyThreadCountWithEitherKernelSet) {
    // Long enough for a team of three; an odd length takes the full-size phase transform.
    for (int64_t n : {int64_t{3 << 16}, int64_t{(3 << 16) + 1}}) {
        const std::vector<std::complex<float>> one = wholeChain(n, 1);
        for (int threads : {2, 3})
            EXPECT_EQ(std::memcmp(wholeChain(n, threads).data(), one.data(), one.size() * sizeof one[0]), 0)
                << threads << " threads, n = " << n;
        const KernelVariant saved = activeKernels();
        for (KernelVariant variant : {KernelVariant::generic, KernelVariant::avx2}) {
            if (!forceKernels(variant)) continue;
            EXPECT_EQ(std::memcmp(wholeChain(n, 2).data(), one.data(), one.size() * sizeof one[0]), 0)
                << (variant == KernelVariant::generic ? "generic" : "avx2") << " kernels, n = " << n;
        }
        forceKernels(saved);
    }
}

TEST(ChannelOutput, IsScaledAndRoundedAsTheFrameScales) {
    const DigitalModParams p = qpskRecord();
    const std::vector<int16_t> iq = qpskBuffer(p, 500, kRate);
    GenSignalChannel c = channelOff(4);
    c.noiseMode = GENSIGNAL_NOISE_SNR;
    c.noiseDb = 10;
    c.cfoHz = 16e3;
    for (double peakDbfs : {0.0, -6.0}) {
        Handle h;
        ASSERT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_PEAK_DBFS, peakDbfs), 0);
        const Impaired got = impair(h.id, c, inputOf(iq, kRate));
        ASSERT_EQ(got.rc, 0) << got.reason;
        ASSERT_EQ(got.iq.size(), iq.size());
        double peak = 0, noise = 0;
        for (size_t i = 0; i < got.iq.size(); ++i) {
            ASSERT_EQ(got.iq[i], static_cast<int16_t>(std::lround(got.floats[i] * 32767.0f))) << i;
            if (i % 2 == 0) peak = std::max(peak, std::abs(got.at(i / 2)));
        }
        EXPECT_NEAR(peak, 32766 * std::pow(10.0, peakDbfs / 20), 0.01);
        // Powers at the output's scale: signal over noise as realised.
        EXPECT_NEAR(10 * std::log10(got.realised.signalPower / got.realised.noisePower), 10, 1e-6);
        double power = 0;
        for (size_t i = 0; i < got.floats.size() / 2; ++i) power += std::norm(got.at(i));
        EXPECT_NEAR(got.realised.outputPower / (power / (got.floats.size() / 2)), 1, 1e-5);
        (void)noise;
    }
}

TEST(ChannelOutput, AnAllZeroRecordOnlyScalesAndFloatsGiveWhatIntegersGive) {
    const DigitalModParams p = qpskRecord();
    const std::vector<int16_t> iq = qpskBuffer(p, 300, kRate);
    std::vector<float> asFloats(iq.size());
    for (size_t i = 0; i < iq.size(); ++i) asFloats[i] = static_cast<float>(iq[i] / 32767.0);
    Handle h;
    const GenSignalChannel off = channelOff();
    const Impaired fromInts = impair(h.id, off, inputOf(iq, kRate));
    ASSERT_EQ(fromInts.rc, 0) << fromInts.reason;
    EXPECT_EQ(fromInts.iq, iq);  // the generator's buffer already peaks at 32766
    GenSignalMeasureInput in = inputOf(iq, kRate);
    in.format = GENSIGNAL_FORMAT_CF32;
    in.samples = asFloats.data();
    const Impaired fromFloats = impair(h.id, off, in);
    ASSERT_EQ(fromFloats.rc, 0) << fromFloats.reason;
    EXPECT_EQ(fromFloats.iq, iq);
    GenSignalLoopInfo info{};
    GenSignalGetLoopInfo(h.id, &info);
    EXPECT_EQ(info.samples, static_cast<int32_t>(iq.size() / 2));
    EXPECT_EQ(info.wholePeriods, 1);
}

}  // namespace
