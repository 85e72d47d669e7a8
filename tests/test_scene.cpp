// Scenes: the sum against its parts made alone, the labels against each
// part measured alone, the bursts' spans, the crest-factor reduction's
// figures, the refusals, and the same bytes at any thread count.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "cpuDispatch.h"
#include "exampleRecords.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

using testing_support::expectRefusal;
using testing_support::Handle;
using testing_support::lastError;

namespace {

constexpr double kRate = 1e6;
constexpr double kTwoPi = 6.283185307179586;

DigitalModParams qpsk() {
    DigitalModParams p{};
    p.modType = QPSK;
    p.symbolRate = 50e3;
    p.pnOrder = 9;
    p.pnSeed = 1;
    p.filterType = RRCOS;
    p.filterSpan = 8;
    p.samplesPerSymbol = 4;
    p.rolloff = 0.35;
    return p;
}

MultitoneParams tones() {
    MultitoneParams p{};
    p.toneCount = 4;
    p.toneSpacing = 10e3;
    return p;
}

AMModParams am() { return AMModParams{1e3, 50, 1}; }

GenSignalScenePart partOf(int kind, const void* record, int argument = 0) {
    GenSignalScenePart p{};
    p.recordKind = kind;
    p.record = record;
    p.argument = argument;
    return p;
}

std::vector<int16_t> copyOut(const int16_t* iq, int count) { return std::vector<int16_t>(iq, iq + count); }

// A part as the library makes it alone.
std::vector<int16_t> alone(const GenSignalScenePart& p, double rate, bool exact) {
    Handle h;
    if (exact) GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
    int16_t* iq = nullptr;
    int count = 0;
    int rc = -1;
    switch (p.recordKind) {
        case GENSIGNAL_RECORD_DIGITAL:
            rc = GenerateDigitalModWaveform(h.id, static_cast<const DigitalModParams*>(p.record), p.argument, &iq,
                                            &count, rate);
            break;
        case GENSIGNAL_RECORD_MULTITONE:
            rc = GenerateMultitoneWaveform(h.id, static_cast<const MultitoneParams*>(p.record), &iq, &count, rate);
            break;
        case GENSIGNAL_RECORD_AM:
            rc = GenerateAmWaveform(h.id, static_cast<const AMModParams*>(p.record), &iq, &count, rate);
            break;
        case GENSIGNAL_RECORD_OFDM:
            rc = GenerateOFDMWaveform(h.id, static_cast<const OFDMParams*>(p.record), &iq, &count, rate);
            break;
        default: break;
    }
    EXPECT_EQ(rc, 0) << lastError();
    return rc ? std::vector<int16_t>() : copyOut(iq, count);
}

struct Made {
    int rc = -1;
    std::vector<int16_t> iq;
    std::vector<GenSignalSceneLabel> labels;
    GenSignalSceneReport report{};
    std::string note;
};

Made makeScene(const GenSignalScene& s, bool exact) {
    Handle h;
    if (exact) GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
    Made m;
    int16_t* iq = nullptr;
    int count = 0;
    m.rc = GenerateSceneWaveform(h.id, &s, &iq, &count);
    EXPECT_EQ(m.rc, 0) << lastError();
    if (m.rc) return m;
    m.iq = copyOut(iq, count);
    m.labels.resize(static_cast<size_t>(GenSignalGetSceneLabels(h.id, nullptr, 0)));
    GenSignalGetSceneLabels(h.id, m.labels.data(), static_cast<int>(m.labels.size()));
    GenSignalGetSceneReport(h.id, &m.report);
    char note[1024];
    GenSignalGetNote(h.id, note, sizeof note);
    m.note = note;
    return m;
}

GenSignalScene sceneOf(const std::vector<GenSignalScenePart>& parts, double rate) {
    GenSignalScene s{};
    s.sampleRate = rate;
    s.partCount = static_cast<int32_t>(parts.size());
    s.parts = parts.data();
    return s;
}

double meanPower(const std::vector<int16_t>& iq) {
    double sum = 0;
    for (size_t i = 0; i < iq.size(); i += 2) sum += double(iq[i]) * iq[i] + double(iq[i + 1]) * iq[i + 1];
    return sum / double(iq.size() / 2);
}

GenSignalMeasurement measured(const std::vector<int16_t>& iq, double rate) {
    GenSignalMeasureInput in{iq.data(), static_cast<int64_t>(iq.size()), GENSIGNAL_FORMAT_CI16, 0, nullptr, 0, 0, rate};
    GenSignalMeasurement m{};
    EXPECT_EQ(GenSignalMeasure(&in, nullptr, &m), 0) << lastError();
    return m;
}

// Offsets of whole cycles over n samples.
double wholeCycles(int64_t cycles, int64_t n, double rate) { return double(cycles) * rate / double(n); }

}  // namespace

TEST(SceneSum, EqualsItsPartsMadeAloneShiftedAndScaledWithinTheirRounding) {
    const DigitalModParams d = qpsk();
    const MultitoneParams t = tones();
    const AMModParams a = am();
    for (bool exact : {false, true}) {
        std::vector<GenSignalScenePart> parts = {partOf(GENSIGNAL_RECORD_DIGITAL, &d, 500),
                                                 partOf(GENSIGNAL_RECORD_MULTITONE, &t),
                                                 partOf(GENSIGNAL_RECORD_AM, &a)};
        std::vector<std::vector<int16_t>> made;
        for (const auto& p : parts) made.push_back(alone(p, kRate, exact));
        // The scene's length: the longest part (defined) or the parts' common loop (exact).
        int64_t n = 0;
        for (const auto& m : made) {
            const int64_t length = int64_t(m.size() / 2);
            n = exact ? (n ? std::lcm(n, length) : length) : std::max(n, length);
        }
        const double levels[] = {0, -6, -13}, phases[] = {0, 40, -110}, delays[] = {0, 37, 1001};
        const int64_t cycles[] = {-int64_t(n / 5), int64_t(n / 4), 17};
        for (size_t i = 0; i < parts.size(); ++i) {
            parts[i].levelDb = levels[i];
            parts[i].phaseDeg = phases[i];
            parts[i].delay = delays[i] / kRate;
            parts[i].frequencyOffset = wholeCycles(cycles[i], n, kRate);
        }
        const Made scene = makeScene(sceneOf(parts, kRate), exact);
        ASSERT_EQ(scene.rc, 0);
        ASSERT_EQ(int64_t(scene.iq.size() / 2), n);

        std::vector<std::complex<double>> sum(static_cast<size_t>(n));
        double bound = 0;  // each part's rounding, as it reaches the sum
        for (size_t i = 0; i < parts.size(); ++i) {
            const auto& p = made[i];
            const int64_t m = int64_t(p.size() / 2);
            const double g = std::pow(10.0, levels[i] / 20) / std::sqrt(meanPower(p));
            bound += g * std::sqrt(0.5);
            for (int64_t k = 0; k < n; ++k) {
                const int64_t from = ((k - int64_t(delays[i])) % n + n) % n % m;
                const double angle =
                    kTwoPi * double((cycles[i] % n + n) % n * k % n) / double(n) + phases[i] * kTwoPi / 360;
                sum[size_t(k)] += g * std::complex<double>(p[2 * from], p[2 * from + 1]) * std::polar(1.0, angle);
            }
        }
        double peak = 0;
        for (const auto& v : sum) peak = std::max(peak, std::abs(v));
        const double scale = 32766 / peak;
        double worst = 0;
        for (int64_t k = 0; k < n; ++k) {
            worst = std::max(worst, std::abs(sum[size_t(k)].real() * scale - scene.iq[2 * k]));
            worst = std::max(worst, std::abs(sum[size_t(k)].imag() * scale - scene.iq[2 * k + 1]));
        }
        EXPECT_LE(worst, bound * scale + 1.0) << (exact ? "exact" : "defined");
        EXPECT_GT(bound * scale, 0.0);
    }
}

TEST(SceneLabels, BandsAndLevelsMatchEachPartMeasuredAlone) {
    const DigitalModParams d = qpsk();
    const MultitoneParams t = tones();
    std::vector<GenSignalScenePart> parts = {partOf(GENSIGNAL_RECORD_DIGITAL, &d, 500),
                                             partOf(GENSIGNAL_RECORD_MULTITONE, &t)};
    const int64_t n = int64_t(alone(parts[0], kRate, false).size() / 2);
    parts[0].frequencyOffset = wholeCycles(-n / 5, n, kRate);
    parts[1].frequencyOffset = wholeCycles(n / 4, n, kRate);
    parts[1].levelDb = -7.5;
    const Made scene = makeScene(sceneOf(parts, kRate), false);
    ASSERT_EQ(scene.rc, 0);
    ASSERT_EQ(scene.labels.size(), parts.size());
    const double bin = kRate / double(scene.iq.size() / 2);
    for (size_t i = 0; i < parts.size(); ++i) {
        const auto& l = scene.labels[i];
        const GenSignalMeasurement m = measured(alone(parts[i], kRate, false), kRate);
        EXPECT_EQ(l.part, int(i));
        EXPECT_EQ(l.burst, -1);
        EXPECT_EQ(l.sampleStart, 0);
        EXPECT_EQ(l.sampleCount, n);
        EXPECT_NEAR(l.freqLowerEdge, m.obwLowerHz + parts[i].frequencyOffset, bin) << i;
        EXPECT_NEAR(l.freqUpperEdge, m.obwUpperHz + parts[i].frequencyOffset, bin) << i;
        EXPECT_NEAR(l.levelDb, parts[i].levelDb, 0.1) << i;
        EXPECT_EQ(l.recordKind, parts[i].recordKind);
        EXPECT_EQ(l.evmCostPercent, 0.0);
    }
    EXPECT_EQ(scene.labels[0].modType, QPSK);
    EXPECT_EQ(scene.labels[1].modType, 0);
    // The delivered buffer's power in each band, as dBFS says it.
    const double total = 10 * std::log10(meanPower(scene.iq) / (32767.0 * 32767.0));
    const double bands =
        10 * std::log10(std::pow(10, scene.labels[0].powerDbfs / 10) + std::pow(10, scene.labels[1].powerDbfs / 10));
    EXPECT_NEAR(bands, total, 0.1);
}

TEST(SceneBursts, StartAndCountExactlyAndSilentBetween) {
    const MultitoneParams t = tones();
    struct Case {
        double on, off, start, ramp;
    };
    const int64_t loop = int64_t(alone(partOf(GENSIGNAL_RECORD_MULTITONE, &t), kRate, true).size() / 2);
    const Case cases[] = {
        {200e-6, 300e-6, 120e-6, 0},      // bursts inside the loop
        {200e-6, 300e-6, 400e-6, 20e-6},  // a burst over the loop's end: two spans
        {100e-6, 150e-6, 0, 10e-6},       // bursts from the loop's start
        {333e-6, 17e-6, 5e-6, 0},         // a period the loop does not divide
    };
    for (const Case& c : cases) {
        std::vector<GenSignalScenePart> parts = {partOf(GENSIGNAL_RECORD_MULTITONE, &t)};
        parts[0].burstOn = c.on;
        parts[0].burstOff = c.off;
        parts[0].burstStart = c.start;
        parts[0].burstRamp = c.ramp;
        const Made scene = makeScene(sceneOf(parts, kRate), true);
        ASSERT_EQ(scene.rc, 0);
        const int64_t on = std::llround(c.on * kRate), period = on + std::llround(c.off * kRate);
        const int64_t length = std::lcm(loop, period);
        ASSERT_EQ(int64_t(scene.iq.size() / 2), length);
        // The expected spans, sample by sample.
        std::vector<bool> gate(static_cast<size_t>(length));
        for (int64_t k = 0; k < length; ++k)
            gate[size_t(k)] = ((k - std::llround(c.start * kRate)) % period + period) % period < on;
        std::vector<std::pair<int64_t, int64_t>> expected;
        for (int64_t k = 0; k < length; ++k)
            if (gate[size_t(k)] && (k == 0 || !gate[size_t(k - 1)])) {
                int64_t e = k;
                while (e < length && gate[size_t(e)]) ++e;
                expected.push_back({k, e - k});
            }
        std::vector<std::pair<int64_t, int64_t>> got;
        for (const auto& l : scene.labels)
            if (l.burst >= 0) got.push_back({l.sampleStart, l.sampleCount});
        EXPECT_EQ(got, expected) << "burst start " << c.start;
        for (int64_t k = 0; k < length; ++k)
            if (!gate[size_t(k)]) {
                ASSERT_EQ(scene.iq[2 * k], 0) << k;
                ASSERT_EQ(scene.iq[2 * k + 1], 0) << k;
            }
    }
}

TEST(SceneCrestFactor, FourOfdmCarriersReachTheTargetWithinTheirEvmAndAcpr) {
    // 1200 used subcarriers of 15 kHz at 122.88 MS/s (N = 8192), QAM64;
    // 12 symbols with a quarter prefix: 122880 samples, 1 ms, on which
    // offsets of 10 MHz are whole cycles.
    const OFDMParams o = examples::twentyMhzCarrier(12);
    const double rate = examples::kFourCarrierRate;
    std::vector<GenSignalScenePart> parts = examples::fourCarriers(&o);
    GenSignalScene s = sceneOf(parts, rate);
    s.cfrMethod = GENSIGNAL_CFR_CLIP_FILTER;
    s.cfrTargetPaprDb = 7.5;
    const Made scene = makeScene(s, true);
    ASSERT_EQ(scene.rc, 0);
    const GenSignalSceneReport& r = scene.report;
    EXPECT_EQ(r.samples, 122880);
    EXPECT_GT(r.paprBeforeDb, 8.0);
    EXPECT_LE(r.paprAfterDb, 7.5);
    EXPECT_GE(r.iterations, 1);
    // The delivered buffer says the same, and its seam is no larger than its largest step.
    const GenSignalMeasurement m = measured(scene.iq, rate);
    EXPECT_LE(m.ccdfDb[3], 7.55);
    EXPECT_LE(m.seamRatio, 1.0);
    EXPECT_LE(r.acprLowerAfterDb, -50.0);
    EXPECT_LE(r.acprUpperAfterDb, -50.0);
    ASSERT_EQ(scene.labels.size(), 4u);
    for (const auto& l : scene.labels) {
        EXPECT_GT(l.evmCostPercent, 0.0);
        EXPECT_LE(l.evmCostPercent, 2.0) << "part " << l.part;
        EXPECT_NEAR(l.levelDb, 0.0, 0.1) << "part " << l.part;
        EXPECT_EQ(l.modType, QAM64);
    }
    // Deeper targets cost more, and no band outside the parts' gains power.
    s.cfrTargetPaprDb = 6.5;
    const Made deeper = makeScene(s, true);
    ASSERT_EQ(deeper.rc, 0);
    EXPECT_LE(deeper.report.paprAfterDb, 6.5);
    EXPECT_GT(deeper.labels[0].evmCostPercent, scene.labels[0].evmCostPercent);
    EXPECT_NEAR(deeper.report.acprLowerAfterDb, deeper.report.acprLowerBeforeDb, 0.5);

    // Peak windowing reaches the target too, in the samples alone: its
    // regrowth lands outside the bands, so the ACPR pays, and a longer dip
    // spreads less of it. The same bytes at any thread count.
    s.cfrMethod = GENSIGNAL_CFR_PEAK_WINDOW;
    s.cfrTargetPaprDb = 7.5;
    const Made windowed = makeScene(s, true);
    ASSERT_EQ(windowed.rc, 0);
    EXPECT_LE(windowed.report.paprAfterDb, 7.5);
    EXPECT_LE(measured(windowed.iq, rate).ccdfDb[3], 7.55);
    EXPECT_GT(windowed.report.acprLowerAfterDb, windowed.report.acprLowerBeforeDb + 3);
    for (const auto& l : windowed.labels) EXPECT_GT(l.evmCostPercent, 0.0) << "part " << l.part;
    s.cfrWindow = 129 / rate;
    const Made longer = makeScene(s, true);
    ASSERT_EQ(longer.rc, 0);
    EXPECT_LT(longer.report.acprLowerAfterDb, windowed.report.acprLowerAfterDb);
    const int saved = omp_get_max_threads();
    omp_set_num_threads(1);
    EXPECT_EQ(makeScene(s, true).iq, longer.iq);
    omp_set_num_threads(saved);
}

TEST(SceneLoop, DefinedModeSaysWhereTheLoopBreaks) {
    const DigitalModParams d = qpsk();
    const MultitoneParams t = tones();
    std::vector<GenSignalScenePart> parts = {partOf(GENSIGNAL_RECORD_DIGITAL, &d, 333),
                                             partOf(GENSIGNAL_RECORD_MULTITONE, &t)};
    parts[1].frequencyOffset = 12345.6;
    parts[0].frequencyOffset = -480e3;  // its band reaches past -500 kHz
    // Parts that loop by themselves: their own seams leave no notes.
    parts[0].loopMode = parts[1].loopMode = GENSIGNAL_SCENE_LOOP_EXACT;
    const Made scene = makeScene(sceneOf(parts, kRate), false);
    ASSERT_EQ(scene.rc, 0);
    EXPECT_NE(scene.note.find("parts[1].frequencyOffset makes"), std::string::npos) << scene.note;
    EXPECT_NE(scene.note.find("the loop breaks"), std::string::npos) << scene.note;
    EXPECT_NE(scene.note.find("parts[0]'s band"), std::string::npos) << scene.note;
    EXPECT_EQ(scene.note.find("parts[1]'s band"), std::string::npos) << scene.note;
}

// Counter noise: the handle's seed gives the same scene on every call
// whatever rand() did meanwhile, and each part draws its own stream, so two
// like parts half a turn apart do not cancel.
TEST(SceneReproducibility, CounterNoisePartsRepeatUnderTheSeedAndDrawApart) {
    const AWGNParams noise{2e4, 1e-2};
    std::vector<GenSignalScenePart> parts = {partOf(GENSIGNAL_RECORD_AWGN, &noise),
                                             partOf(GENSIGNAL_RECORD_AWGN, &noise)};
    parts[1].phaseDeg = 180;
    const GenSignalScene s = sceneOf(parts, kRate);
    const auto made = [&](uint64_t seed) {
        Handle h;
        GenSignalChannel c{};
        c.seed = seed;
        EXPECT_EQ(GenSignalSetChannel(h.id, &c), 0) << lastError();
        EXPECT_EQ(GenSignalSetOption(h.id, GENSIGNAL_OPTION_NOISE_SOURCE, GENSIGNAL_NOISE_SOURCE_CHANNEL), 0);
        int16_t* iq = nullptr;
        int count = 0;
        EXPECT_EQ(GenerateSceneWaveform(h.id, &s, &iq, &count), 0) << lastError();
        return iq ? copyOut(iq, count) : std::vector<int16_t>();
    };
    const std::vector<int16_t> first = made(7);
    ASSERT_FALSE(first.empty());
    EXPECT_GT(meanPower(first), 1e6);  // not two copies cancelling
    std::srand(12345);
    (void)std::rand();
    EXPECT_EQ(made(7), first);
    EXPECT_NE(made(8), first);
}

TEST(SceneReproducibility, TheSameBytesAtAnyThreadCountWithEitherKernelSet) {
    const DigitalModParams d = qpsk();
    const MultitoneParams t = tones();
    std::vector<GenSignalScenePart> parts = {partOf(GENSIGNAL_RECORD_DIGITAL, &d, 4000),
                                             partOf(GENSIGNAL_RECORD_MULTITONE, &t)};
    parts[1].frequencyOffset = 123.4;  // off the grid: the stepped carrier
    parts[1].burstOn = 1e-3;
    parts[1].burstOff = 2e-3;
    parts[1].burstRamp = 1e-4;
    GenSignalScene s = sceneOf(parts, kRate);
    s.cfrMethod = GENSIGNAL_CFR_CLIP_FILTER;
    s.cfrTargetPaprDb = 4;
    const int saved = omp_get_max_threads();
    omp_set_num_threads(1);
    const Made one = makeScene(s, false);
    ASSERT_EQ(one.rc, 0);
    for (int threads : {2, 3}) {
        omp_set_num_threads(threads);
        EXPECT_EQ(makeScene(s, false).iq, one.iq) << threads << " threads";
    }
    omp_set_num_threads(saved);
    const KernelVariant kernels = activeKernels();
    for (KernelVariant variant : {KernelVariant::generic, KernelVariant::avx2})
        if (forceKernels(variant)) {
            EXPECT_EQ(makeScene(s, false).iq, one.iq);
        }
    forceKernels(kernels);
}

// ---- Refusals: one table, one runner ----

namespace {

struct SceneRefusal {
    const char* name;
    std::function<void(GenSignalScene&, std::vector<GenSignalScenePart>&)> change;
    const char* reason;
    bool exact = false;
};

const DigitalModParams kQpsk = qpsk();
const MultitoneParams kTones = tones();
const AMModParams kBadAm{1e3, 50, 9};
const AWGNParams kLongNoise{1e5, 3.0};

const SceneRefusal kSceneRefusals[] = {
    {"RateZero", [](auto& s, auto&) { s.sampleRate = 0; }, "GenSignalScene.sampleRate = 0"},
    {"RateNan", [](auto& s, auto&) { s.sampleRate = NAN; }, "GenSignalScene.sampleRate = nan"},
    {"NoParts", [](auto& s, auto&) { s.partCount = 0; }, "GenSignalScene.partCount = 0"},
    {"TooManyParts", [](auto& s, auto&) { s.partCount = 65; }, "GenSignalScene.partCount = 65"},
    {"NullParts", [](auto& s, auto&) { s.parts = nullptr; }, "GenSignalScene.parts is a null pointer"},
    {"CfrMethod", [](auto& s, auto&) { s.cfrMethod = 3; }, "GenSignalScene.cfrMethod = 3"},
    {"CfrTargetNan",
     [](auto& s, auto&) {
         s.cfrMethod = 1;
         s.cfrTargetPaprDb = NAN;
     },
     "GenSignalScene.cfrTargetPaprDb = nan"},
    {"CfrProbability",
     [](auto& s, auto&) {
         s.cfrMethod = 1;
         s.cfrProbability = 0.5;
     },
     "GenSignalScene.cfrProbability = 0.5"},
    {"CfrProbabilityInfWithTheReductionOff", [](auto& s, auto&) { s.cfrProbability = INFINITY; },
     "GenSignalScene.cfrProbability = inf"},
    {"CfrWindowTooShort",
     [](auto& s, auto&) {
         s.cfrMethod = GENSIGNAL_CFR_PEAK_WINDOW;
         s.cfrWindow = 2e-6;
     },
     "GenSignalScene.cfrWindow = 2e-06: spans 2 samples"},
    {"CfrIterations",
     [](auto& s, auto&) {
         s.cfrMethod = 1;
         s.cfrIterations = 101;
     },
     "GenSignalScene.cfrIterations = 101"},
    {"RecordKind", [](auto&, auto& p) { p[1].recordKind = 11; }, "GenSignalScene.parts[1].recordKind = 11"},
    {"NullRecord", [](auto&, auto& p) { p[0].record = nullptr; }, "GenSignalScene.parts[0].record is a null"},
    {"LoopMode", [](auto&, auto& p) { p[1].loopMode = 3; }, "GenSignalScene.parts[1].loopMode = 3"},
    {"TonePhases", [](auto&, auto& p) { p[1].tonePhases = -1; }, "GenSignalScene.parts[1].tonePhases = -1"},
    {"OffsetBeyondNyquist", [](auto&, auto& p) { p[0].frequencyOffset = 6e5; },
     "GenSignalScene.parts[0].frequencyOffset = 600000"},
    {"OffsetNan", [](auto&, auto& p) { p[0].frequencyOffset = NAN; }, "GenSignalScene.parts[0].frequencyOffset = nan"},
    {"LevelInf", [](auto&, auto& p) { p[1].levelDb = INFINITY; }, "GenSignalScene.parts[1].levelDb = inf"},
    {"DelayNegative", [](auto&, auto& p) { p[1].delay = -1e-3; }, "GenSignalScene.parts[1].delay = -0.001"},
    {"BurstRamp",
     [](auto&, auto& p) {
         p[1].burstOn = 1e-4;
         p[1].burstRamp = 6e-5;
     },
     "GenSignalScene.parts[1].burstRamp = 6e-05"},
    {"BurstShorterThanASample", [](auto&, auto& p) { p[1].burstOn = 1e-7; },
     "GenSignalScene.parts[1].burstOn = 1e-07: is shorter than one sample"},
    {"PartRefusedByTheLibrary", [](auto&, auto& p) { p[1] = partOf(GENSIGNAL_RECORD_AM, &kBadAm); },
     "GenSignalScene.parts[1] (GenerateAmWaveform): AMModParams.modShape = 9"},
    {"OffsetOffTheGrid", [](auto&, auto& p) { p[1].frequencyOffset = 1234.5; },
     "GenSignalScene.parts[1].frequencyOffset = 1234.5: makes", true},
    {"MoreBurstsThanLabels",
     [](auto&, auto& p) {
         p[0] = partOf(GENSIGNAL_RECORD_AWGN, &kLongNoise);
         p[1].burstOn = 1e-6;
         p[1].burstOff = 1e-6;
     },
     "GenSignalScene.parts[1].burstOn = 1e-06, burstOff = 1e-06: the scene's 3000000 samples would hold more than"},
    {"BeyondTheCaps",
     [](auto&, auto& p) {
         p[0].burstOn = 10007e-6;
         p[1].burstOn = 10009e-6;
     },
     "the scene's loop is above 2^26 samples", true},
};

class SceneRefusalTest : public ::testing::TestWithParam<SceneRefusal> {};

}  // namespace

TEST_P(SceneRefusalTest, TouchesNothingAndNamesTheField) {
    const SceneRefusal& c = GetParam();
    std::vector<GenSignalScenePart> parts = {partOf(GENSIGNAL_RECORD_DIGITAL, &kQpsk, 100),
                                             partOf(GENSIGNAL_RECORD_MULTITONE, &kTones)};
    GenSignalScene s = sceneOf(parts, kRate);
    c.change(s, parts);
    Handle h;
    if (c.exact) GenSignalSetOption(h.id, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
    expectRefusal([&](int16_t** iq, int* n) { return GenerateSceneWaveform(h.id, &s, iq, n); }, c.reason);
    EXPECT_EQ(GenSignalGetSceneLabels(h.id, nullptr, 0), 0) << "labels were written";
}

INSTANTIATE_TEST_SUITE_P(Table, SceneRefusalTest, ::testing::ValuesIn(kSceneRefusals),
                         [](const ::testing::TestParamInfo<SceneRefusal>& info) { return info.param.name; });

TEST(SceneRefusal, NullPointersAndDeadHandlesAreNamed) {
    std::vector<GenSignalScenePart> parts = {partOf(GENSIGNAL_RECORD_MULTITONE, &kTones)};
    const GenSignalScene s = sceneOf(parts, kRate);
    Handle h;
    expectRefusal([&](int16_t** iq, int* n) { return GenerateSceneWaveform(h.id, nullptr, iq, n); },
                  "scene is a null pointer");
    expectRefusal([&](int16_t** iq, int* n) { return GenerateSceneWaveform(-7, &s, iq, n); }, "handle -7");
    EXPECT_EQ(GenSignalGetSceneLabels(h.id, nullptr, 1), -1);
    EXPECT_EQ(GenSignalGetSceneLabels(h.id, nullptr, -1), -1);
    EXPECT_EQ(GenSignalGetSceneReport(h.id, nullptr), -1);
    EXPECT_EQ(GenSignalGetSceneLabels(-7, nullptr, 0), -1);
}
