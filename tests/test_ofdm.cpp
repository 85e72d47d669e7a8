// OFDM generator: frame layout, cross-fade, data symbols, subcarrier layout
// recovered by a forward DFT of every body, refusals, and wavegen ofdm.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "constellation.h"
#include "genSignalClass.h"
#include "testSupport.h"
#include "wavegenRunner.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::expectRefusal;
using testing_support::Handle;
using testing_support::sameBits;

using C = std::complex<float>;

OFDMParams record(int n, int symbols, int guardLow, int guardHigh, int cp, bool windowing, DigitalModulType type,
                  bool nullDC) {
    OFDMParams p;
    std::memset(&p, 0xA5, sizeof p);  // the reserved bytes must not matter
    p.fftSize = n;
    p.numSymbols = symbols;
    p.guardLow = guardLow;
    p.guardHigh = guardHigh;
    p.cpPercent = cp;
    p.windowing = windowing ? 1 : 0;
    p.modType = type;
    p.nullDC = nullDC ? 1 : 0;
    return p;
}

// The 80-sample example frame: N = 64, one symbol, 52 used subcarriers, P = 16.
OFDMParams example(DigitalModulType type = QPSK, bool windowing = false, int symbols = 1) {
    return record(64, symbols, 6, 5, 25, windowing, type, true);
}

struct Frame {
    int rc;
    std::vector<C> x;
};

Frame generate(const OFDMParams& p, double rate = 20e6) {
    GenSignalClass obj;
    C* s = nullptr;
    int n = -1;
    Frame r{obj.genOFDMSig(&p, rate, &s, &n), {}};
    if (r.rc == 0 && s) r.x.assign(s, s + n);
    if (r.rc == 0) {
        EXPECT_EQ(static_cast<int>(r.x.size()), n);
    }
    std::free(s);
    return r;
}

// Forward DFT of one body in double, returned in centred position order.
std::vector<std::complex<double>> centredSpectrum(const C* body, int n) {
    std::vector<std::complex<double>> spec(static_cast<size_t>(n));
    for (int m = 0; m < n; ++m) {
        std::complex<double> acc = 0;
        for (int t = 0; t < n; ++t)
            acc += std::complex<double>(body[t].real(), body[t].imag()) *
                   std::polar(1.0, -2 * M_PI * static_cast<double>((static_cast<int64_t>(m) * t) % n) / n);
        spec[static_cast<size_t>((m + n / 2) % n)] = acc;
    }
    return spec;
}

// The constellation point a data symbol should become.
std::complex<double> expectedPoint(DigitalModulType type, int s) {
    switch (type) {
        case BPSK: return std::polar(1.0, M_PI * s);
        case QPSK: return std::polar(1.0, M_PI / 4 + M_PI / 2 * s);
        case PSK8: return std::polar(1.0, 2 * M_PI * s / 8);
        case PSK16: return std::polar(1.0, 2 * M_PI * s / 16);
        case QAM16: return std::complex<double>(qam16[s].real(), qam16[s].imag()) / std::sqrt(10.0);
        case QAM64: return std::complex<double>(qam64[s].real(), qam64[s].imag()) / std::sqrt(42.0);
        case QAM256: return std::complex<double>(qam256[s].real(), qam256[s].imag()) / std::sqrt(170.0);
        default: return 0;
    }
}

int bitsOf(DigitalModulType type) {
    switch (type) {
        case BPSK: return 1;
        case QPSK: return 2;
        case PSK8: return 3;
        case PSK16:
        case QAM16: return 4;
        case QAM64: return 6;
        default: return 8;
    }
}

// Data symbols of the frame: the fixed PN sequence packed k bits at a time.
std::vector<int> dataSymbols(DigitalModulType type, int count) {
    GenSignalClass obj;
    const int k = bitsOf(type);
    const signed char start[9] = {0, 0, 0, 0, 0, 1, 0, 1, 0};
    std::vector<signed char> bits(static_cast<size_t>(k) * count);
    obj.func_PN_gen(9, start, bits.data(), k * count);
    std::vector<int> sym(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) sym[i] = obj.bi2deForC(bits.data() + static_cast<size_t>(i) * k, k);
    return sym;
}

// Nearest constellation index to a recovered point.
int decide(DigitalModulType type, std::complex<double> v) {
    int best = 0;
    for (int s = 1; s < (1 << bitsOf(type)); ++s)
        if (std::abs(v - expectedPoint(type, s)) < std::abs(v - expectedPoint(type, best))) best = s;
    return best;
}

TEST(OfdmGen, ExampleFrameHasEightySamplesAndACyclicPrefix) {
    const Frame r = generate(example());
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.x.size(), 80u);
    for (int j = 0; j < 16; ++j) EXPECT_EQ(std::memcmp(&r.x[j], &r.x[j + 64], sizeof(C)), 0) << j;

    const Handle h;
    const OFDMParams p = example();
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateOFDMWaveform(h.id, &p, &iq, &count, 20e6), 0);
    EXPECT_EQ(count, 160);
    for (int j = 0; j < 32; ++j) EXPECT_EQ(iq[j], iq[j + 128]) << j;
}

// Cross-faded slot s: its body, then fall[j]*body_s[j] + rise[j]*prefix_next[j]
// as one fused multiply-add per component, the last slot fading into symbol 0.
std::vector<C> crossFadeOf(const std::vector<C>& plain, int symbols, int n, int p) {
    std::vector<float> w(static_cast<size_t>(2 * p));
    for (int i = 0; i < 2 * p; ++i)
        w[i] = (1.0f - std::cos(static_cast<float>(i) * 6.2831855f / static_cast<float>(2 * p - 1))) * 0.5f;
    const int len = n + p;
    std::vector<C> out(plain.size());
    for (int s = 0; s < symbols; ++s) {
        const C* body = plain.data() + s * len + p;
        const C* next = plain.data() + ((s + 1) % symbols) * len;
        for (int j = 0; j < n; ++j) out[s * len + j] = body[j];
        for (int j = 0; j < p; ++j)
            out[s * len + n + j] = {std::fma(w[p + j], body[j].real(), w[j] * next[j].real()),
                                    std::fma(w[p + j], body[j].imag(), w[j] * next[j].imag())};
    }
    return out;
}

TEST(OfdmGen, WindowedFramesCrossFadeIntoTheNextPrefix) {
    for (int symbols : {1, 2, 5}) {
        for (DigitalModulType type : {QPSK, QAM64}) {
            const Frame plain = generate(example(type, false, symbols));
            const Frame faded = generate(example(type, true, symbols));
            ASSERT_EQ(plain.rc, 0);
            ASSERT_EQ(faded.rc, 0);
            ASSERT_EQ(faded.x.size(), static_cast<size_t>(80 * symbols));
            EXPECT_TRUE(sameBits(faded.x, crossFadeOf(plain.x, symbols, 64, 16))) << symbols << " " << type;
        }
    }
}

TEST(OfdmGen, WindowingWithoutPrefixChangesNothing) {
    const Frame plain = generate(record(64, 3, 6, 5, 0, false, QAM16, true));
    const Frame faded = generate(record(64, 3, 6, 5, 0, true, QAM16, true));
    ASSERT_EQ(plain.rc, 0);
    EXPECT_EQ(plain.x.size(), 192u);
    EXPECT_TRUE(sameBits(plain.x, faded.x));
}

struct PrefixCase {
    int n, cp, p;
};

class OfdmPrefix : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(OfdmPrefix, LengthFromThePercentage) {
    const auto c = GetParam();
    const Frame r = generate(record(c.n, 3, 1, 1, c.cp, false, BPSK, false));
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.x.size(), static_cast<size_t>(3 * (c.n + c.p)));
    for (int s = 0; s < 3; ++s)
        for (int j = 0; j < c.p; ++j) EXPECT_EQ(r.x[s * (c.n + c.p) + j], r.x[s * (c.n + c.p) + j + c.n]);
}

INSTANTIATE_TEST_SUITE_P(Cases, OfdmPrefix,
                         ::testing::Values(PrefixCase{64, 25, 16}, PrefixCase{64, 7, 4}, PrefixCase{64, 0, 0},
                                           PrefixCase{64, -30, 0}, PrefixCase{64, -2147483647 - 1, 0},
                                           PrefixCase{64, 100, 64}, PrefixCase{16, 99, 15}, PrefixCase{8, 1, 0}),
                         [](const auto& info) {
                             const int cp = info.param.cp;
                             return "n" + std::to_string(info.param.n) + (cp < 0 ? "minus" : "cp") +
                                    std::to_string(cp < 0 ? -static_cast<int64_t>(cp) : cp);
                         });

struct FirstSymbols {
    DigitalModulType type;
    std::vector<int> expected;
};

class OfdmData : public ::testing::TestWithParam<FirstSymbols> {};

// The first data symbols, read back from the first body's used subcarriers.
TEST_P(OfdmData, FirstDataSymbolsOnTheLowestSubcarriers) {
    const auto c = GetParam();
    const Frame r = generate(example(c.type));
    ASSERT_EQ(r.rc, 0);
    const auto spec = centredSpectrum(r.x.data() + 16, 64);
    for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(decide(c.type, spec[6 + i]), c.expected[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, OfdmData,
                         ::testing::Values(FirstSymbols{QPSK, {2, 2, 0, 0, 0, 1, 1, 2, 2, 2}},
                                           FirstSymbols{QAM16, {10, 0, 4, 9, 10}},
                                           FirstSymbols{BPSK, {0, 1, 0, 1, 0, 0, 0, 0, 0, 0}}),
                         [](const auto& info) { return "type" + std::to_string(info.param.type); });

struct Layout {
    const char* name;
    int n, symbols, guardLow, guardHigh;
    bool nullDC;
    DigitalModulType type;
    std::vector<int> positions;  // expected used positions, ascending
};

std::vector<int> range(int from, int to) {  // from ... to inclusive
    std::vector<int> v;
    for (int i = from; i <= to; ++i) v.push_back(i);
    return v;
}

std::vector<int> join(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class OfdmRoundTrip : public ::testing::TestWithParam<Layout> {};

// The DFT of every body gives back the transmitted points, at unit average
// power, on the used positions, and nothing elsewhere.
TEST_P(OfdmRoundTrip, BodiesCarryTheDataOnTheUsedPositionsOnly) {
    const auto c = GetParam();
    const int used = static_cast<int>(c.positions.size());
    const Frame r = generate(record(c.n, c.symbols, c.guardLow, c.guardHigh, 25, false, c.type, c.nullDC));
    ASSERT_EQ(r.rc, 0);
    const int p = c.n / 4, len = c.n + p;
    ASSERT_EQ(r.x.size(), static_cast<size_t>(c.symbols * len));
    const auto sym = dataSymbols(c.type, used * c.symbols);
    std::vector<bool> isUsed(static_cast<size_t>(c.n), false);
    for (int q : c.positions) isUsed[q] = true;
    double power = 0;
    for (int s = 0; s < c.symbols; ++s) {
        const auto spec = centredSpectrum(r.x.data() + s * len + p, c.n);
        for (int u = 0; u < used; ++u) {
            const auto want = expectedPoint(c.type, sym[s * used + u]);
            ASSERT_LT(std::abs(spec[c.positions[u]] - want), 1e-5) << "symbol " << s << " position " << c.positions[u];
            power += std::norm(spec[c.positions[u]]);
        }
        for (int q = 0; q < c.n; ++q)
            if (!isUsed[q]) {
                ASSERT_LT(std::abs(spec[q]), 1e-5) << "symbol " << s << " position " << q;
            }
    }
    EXPECT_NEAR(power / (used * c.symbols), 1.0, 0.15);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OfdmRoundTrip,
    ::testing::Values(Layout{"Example", 64, 3, 6, 5, true, QPSK, join(range(6, 31), range(33, 58))},
                      Layout{"DcUsed", 64, 2, 6, 5, false, QAM16, range(6, 58)},
                      Layout{"GuardLowAboveCentre", 64, 2, 40, 3, true, PSK8, range(40, 59)},
                      Layout{"CentreIsFirstUsed", 32, 2, 16, 0, true, PSK16, range(17, 31)},
                      Layout{"NoGuards", 16, 4, 0, 0, true, QAM64, join(range(0, 7), range(9, 15))},
                      Layout{"Qam256", 256, 2, 20, 19, true, QAM256, join(range(20, 127), range(129, 236))},
                      Layout{"SingleSubcarrier", 8, 3, 7, 0, false, BPSK, {7}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OfdmGen, SamplesDependOnlyOnTheRecord) {
    const OFDMParams p = example(PSK8, true, 4);
    const Frame ref = generate(p, 20e6);
    ASSERT_EQ(ref.rc, 0);
    for (double rate : {1.0, 48000.0, 1e12}) EXPECT_TRUE(sameBits(generate(p, rate).x, ref.x)) << rate;
    EXPECT_TRUE(sameBits(generate(p, 20e6).x, ref.x));
    const int threads = omp_get_max_threads();
    omp_set_num_threads(3);
    const Frame three = generate(p);
    omp_set_num_threads(1);
    const Frame one = generate(p);
    omp_set_num_threads(threads);
    EXPECT_TRUE(sameBits(three.x, ref.x));
    EXPECT_TRUE(sameBits(one.x, ref.x));
}

TEST(OfdmGen, NoUsedSubcarrierGivesAnEmptyFrame) {
    for (const OFDMParams& p : {record(8, 2, 4, 4, 25, true, QPSK, false), record(8, 2, 4, 3, 25, true, QPSK, true)}) {
        GenSignalClass obj;
        C* s = reinterpret_cast<C*>(&obj);  // must be overwritten
        int n = -1;
        EXPECT_EQ(obj.genOFDMSig(&p, 1e6, &s, &n), 0);
        EXPECT_EQ(n, 0);
        EXPECT_EQ(s, nullptr);
    }
}

// Every rule of the record, refused by the generator (nothing written) and
// through the entry point with a reason that names the field, before a
// symbol is built: nothing reaches standard error either (the inverse FFT
// would complain once per symbol about a size that is not a power of two).
struct Refusal {
    const char* name;
    OFDMParams p;
    const char* reason;
};

class OfdmRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(OfdmRefuses, MinusOneSilentlyAndAReason) {
    const Refusal& c = GetParam();
    testing::internal::CaptureStderr();
    GenSignalClass obj;
    C* s = reinterpret_cast<C*>(&obj);
    int n = -7;
    EXPECT_EQ(obj.genOFDMSig(&c.p, 20e6, &s, &n), -1);
    EXPECT_EQ(n, -7);
    EXPECT_EQ(s, reinterpret_cast<C*>(&obj));

    const Handle h;
    expectRefusal([&](int16_t** iq, int* count) { return GenerateOFDMWaveform(h.id, &c.p, iq, count, 20e6); },
                  c.reason);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

OFDMParams withType(int32_t type) {
    OFDMParams p = example();
    p.modType = static_cast<DigitalModulType>(type);
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OfdmRefuses,
    ::testing::Values(
        Refusal{"Dbpsk", withType(DBPSK),
                "OFDMParams.modType = 2: must be 1 (BPSK), 3 (QPSK), 7 (PSK8), 9 (PSK16), 10 (QAM16), 11 (QAM64) or "
                "12 (QAM256)"},
        Refusal{"Qam1024", withType(QAM1024), "OFDMParams.modType = 13: must be 1 (BPSK)"},
        Refusal{"Fsk2", withType(FSK2), "OFDMParams.modType = 15: must be 1 (BPSK)"},
        Refusal{"Oqpsk", withType(OQPSK), "OFDMParams.modType = 5: must be 1 (BPSK)"},
        Refusal{"Apsk16", withType(APSK16), "OFDMParams.modType = 21: must be 1 (BPSK)"},
        Refusal{"Zero", withType(0), "OFDMParams.modType = 0: must be 1 (BPSK)"},
        Refusal{"TwentyThree", withType(23), "OFDMParams.modType = 23: must be 1 (BPSK)"},
        Refusal{"FftSix", record(6, 3, 1, 1, 50, false, BPSK, false), "OFDMParams.fftSize = 6: must be a power of two"},
        Refusal{"FftTwelve", record(12, 2, 0, 0, 25, true, QPSK, true),
                "OFDMParams.fftSize = 12: must be a power of two"},
        Refusal{"FftAlmost2To31", record(2147483647, 1, 0, 0, 0, false, BPSK, false),
                "OFDMParams.fftSize = 2147483647: must be a power of two"},
        Refusal{"ZeroFft", record(0, 1, 0, 0, 25, false, QPSK, false),
                "OFDMParams.fftSize = 0: must be a power of two"},
        Refusal{"NegativeFft", record(-64, 1, 0, 0, 25, false, QPSK, false),
                "OFDMParams.fftSize = -64: must be a power of two"},
        Refusal{"NegativeGuardLow", record(64, 1, -1, 5, 25, false, QPSK, true),
                "OFDMParams.guardLow = -1: must be at least 0"},
        Refusal{"NegativeGuardHigh", record(64, 1, 6, -1, 25, false, QPSK, true),
                "OFDMParams.guardHigh = -1: must be at least 0"},
        Refusal{"PrefixAbove100", record(64, 1, 6, 5, 101, false, QPSK, true),
                "OFDMParams.cpPercent = 101: must be at most 100"},
        Refusal{"ZeroSymbols", record(64, 0, 6, 5, 25, false, QPSK, true),
                "OFDMParams.numSymbols = 0: must be at least 1"},
        Refusal{"NegativeSymbols", record(64, -3, 6, 5, 25, false, QPSK, true),
                "OFDMParams.numSymbols = -3: must be at least 1"},
        Refusal{"GuardsOverlap", record(64, 1, 40, 25, 25, false, QPSK, false),
                "OFDMParams.guardHigh = 25: guardLow + guardHigh = 65 exceeds fftSize = 64"},
        Refusal{"GuardsLeaveNoRoomForDc", record(64, 1, 32, 32, 25, false, QPSK, true),
                "OFDMParams.guardHigh = 32: guardLow + guardHigh + 1 (nullDC) = 65 exceeds fftSize = 64"},
        Refusal{"HugeGuards", record(64, 1, 2147483647, 2147483647, 25, false, QPSK, false),
                "OFDMParams.guardHigh = 2147483647: guardLow + guardHigh = 4294967294 exceeds fftSize = 64"},
        Refusal{"FrameBeyondLimit", record(1 << 20, 1 << 10, 0, 0, 0, false, BPSK, false),
                "result of 1073741824 samples: must be finite and below 2^30"},
        Refusal{"FrameWrapsInt", record(1 << 20, 1 << 11, 0, 0, 100, false, BPSK, false),
                "result of 4294967296 samples: must be finite and below 2^30"},
        Refusal{"ManySymbols", record(64, 2147483647, 6, 5, 25, false, QPSK, true),
                "result of 171798691760 samples: must be finite and below 2^30"},
        Refusal{"HugeFft", record(1 << 30, 1, 0, 0, 100, false, BPSK, false),
                "result of 2147483648 samples: must be finite and below 2^30"},
        Refusal{"BitsBeyondLimit", record(1 << 16, 1 << 12, 0, 0, 0, false, QAM256, false),
                "frame of 2147483648 data bits (8 per subcarrier): must be below 2^30"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- wavegen ofdm ---

using WavegenOfdm = WavegenRun;

TEST_F(WavegenOfdm, ModulationByNameOrNumberGivesTheLibraryBuffer) {
    const OFDMParams p = record(64, 3, 6, 5, 25, true, QAM16, true);
    const auto want =
        libraryIq([&](int h, int16_t** iq, int* count) { return GenerateOFDMWaveform(h, &p, iq, count, 1e6); });
    ASSERT_EQ(want.rc, 0);

    for (const char* mod : {"qam16", "QAM16", "10"}) {
        std::string output;
        ASSERT_EQ(run(std::string("ofdm --fft-size 64 --num-symbols 3 --guard-low 6 --guard-high 5 --cp-percent 25 "
                                  "--windowing 1 --null-dc 1 --sample-rate 1e6 --format raw -o f --mod-type ") +
                          mod,
                      output),
                  0)
            << output;
        EXPECT_NE(output.find("ofdm: 240 samples"), std::string::npos) << output;
        EXPECT_TRUE(sameSamples(readFile("f.raw"), want.iq)) << mod;
    }
}

TEST_F(WavegenOfdm, MetadataNamesEveryField) {
    std::string output;
    ASSERT_EQ(run("ofdm --mod-type psk8 -o m", output), 0) << output;
    const std::string meta = readText("m.sigmf-meta");
    for (const char* field :
         {"fftSize", "numSymbols", "guardLow", "guardHigh", "cpPercent", "windowing", "modType", "nullDC"})
        EXPECT_NE(meta.find(std::string("\"gensignal:") + field + "\""), std::string::npos) << field;
    EXPECT_NE(meta.find("\"gensignal:modType\": \"psk8\""), std::string::npos) << meta;
}

}  // namespace
