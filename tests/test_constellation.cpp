// Constellation tables and mappers: known rows, Gray coding, average
// powers, PSK/DPSK points and their rounding, the differential tail copy and
// the untouched elements.
#include <gtest/gtest.h>
#include <omp.h>

#include <bitset>
#include <cmath>
#include <complex>
#include <cstring>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "constellation.h"
#include "genSignalClass.h"

namespace {

using C = std::complex<float>;
const C kMark(-99.0f, 99.0f);  // never a constellation point

struct Table {
    const char* name;
    const C* points;
    int nI, nQ;
    double averagePower;
};

const Table kTables[] = {{"qam8", qam8, 4, 2, 6},
                         {"qam16", qam16, 4, 4, 10},
                         {"qam64", qam64, 8, 8, 42},
                         {"qam256", qam256, 16, 16, 170},
                         {"qam1024", qam1024, 32, 32, 682}};

class RectTable : public ::testing::TestWithParam<Table> {};

TEST_P(RectTable, GridAveragePowerAndGrayNeighbours) {
    const Table t = GetParam();
    const int m = t.nI * t.nQ;
    std::map<std::pair<int, int>, int> at;  // (I, Q) -> symbol
    double power = 0;
    for (int s = 0; s < m; ++s) {
        const C p = t.points[s];
        const int i = static_cast<int>(p.real()), q = static_cast<int>(p.imag());
        ASSERT_EQ(static_cast<float>(i), p.real()) << s;
        ASSERT_EQ(static_cast<float>(q), p.imag()) << s;
        ASSERT_TRUE((i + t.nI - 1) % 2 == 0 && std::abs(i) < t.nI) << s;
        ASSERT_TRUE((q + t.nQ - 1) % 2 == 0 && std::abs(q) < t.nQ) << s;
        ASSERT_TRUE(at.emplace(std::make_pair(i, q), s).second) << "duplicate point at " << s;
        power += static_cast<double>(i) * i + static_cast<double>(q) * q;
    }
    EXPECT_EQ(power / m, t.averagePower);
    for (const auto& [pos, s] : at) {
        for (const auto& step : {std::make_pair(2, 0), std::make_pair(0, 2)}) {
            const auto next = at.find({pos.first + step.first, pos.second + step.second});
            if (next == at.end()) continue;
            EXPECT_EQ(std::bitset<16>(s ^ next->second).count(), 1u) << t.name << " " << s << " " << next->second;
        }
    }
    // The high bits choose the in-phase level, the low bits the quadrature level.
    for (int s = 0; s < m; ++s) {
        EXPECT_EQ(t.points[s].real(), t.points[(s / t.nQ) * t.nQ].real()) << s;
        EXPECT_EQ(t.points[s].imag(), t.points[s % t.nQ].imag()) << s;
    }
}

INSTANTIATE_TEST_SUITE_P(All, RectTable, ::testing::ValuesIn(kTables),
                         [](const auto& info) { return std::string(info.param.name); });

struct Row {
    const C* table;
    int s;
    float i, q;
};

TEST(ConstellationTables, KnownRows) {
    const std::vector<Row> rows = {
        {qam8, 0, -3, 1},         {qam8, 1, -3, -1},     {qam8, 2, -1, 1},         {qam8, 3, -1, -1},
        {qam8, 4, 3, 1},          {qam8, 5, 3, -1},      {qam8, 6, 1, 1},          {qam8, 7, 1, -1},
        {qam16, 0, -3, 3},        {qam16, 1, -3, 1},     {qam16, 2, -3, -3},       {qam16, 3, -3, -1},
        {qam16, 4, -1, 3},        {qam16, 5, -1, 1},     {qam16, 6, -1, -3},       {qam16, 7, -1, -1},
        {qam16, 8, 3, 3},         {qam16, 9, 3, 1},      {qam16, 10, 3, -3},       {qam16, 11, 3, -1},
        {qam16, 12, 1, 3},        {qam16, 13, 1, 1},     {qam16, 14, 1, -3},       {qam16, 15, 1, -1},
        {qam64, 0, -7, 7},        {qam64, 1, -7, 5},     {qam64, 2, -7, 1},        {qam64, 3, -7, 3},
        {qam64, 31, -3, -3},      {qam64, 32, 7, 7},     {qam64, 63, 3, -3},       {qam256, 0, -15, 15},
        {qam256, 2, -15, 9},      {qam256, 127, -5, -5}, {qam256, 128, 15, 15},    {qam256, 255, 5, -5},
        {qam1024, 0, -31, 31},    {qam1024, 2, -31, 25}, {qam1024, 511, -11, -11}, {qam1024, 512, 31, 31},
        {qam1024, 1023, 11, -11},
    };
    for (const Row& r : rows) EXPECT_EQ(r.table[r.s], C(r.i, r.q)) << r.s << " " << r.i << " " << r.q;
}

TEST(ConstellationTables, Apsk16) {
    const float a = 0.70710677f, b = 3.0426664f, c = 0.81527996f, d = 2.2273865f;
    const float mag[4][2] = {{a, a}, {b, c}, {c, b}, {d, d}};
    const float deg[4] = {45, 15, 75, 45};
    for (int g = 0; g < 4; ++g) {
        for (int k = 0; k < 4; ++k) {
            const C p = apsk16[4 * g + k];
            EXPECT_EQ(p, C(k % 2 ? -mag[g][0] : mag[g][0], k >= 2 ? -mag[g][1] : mag[g][1])) << 4 * g + k;
            EXPECT_NEAR(std::abs(std::complex<double>(p)), g == 0 ? 1.0 : 3.15, 1e-6);
            EXPECT_NEAR(std::abs(std::atan2(p.imag(), p.real())) * 180 / M_PI, k % 2 ? 180 - deg[g] : deg[g], 1e-4);
        }
    }
}

std::vector<C> mapped(const std::vector<short>& symbols, int type, int span = 0, int stride = 1, int room = -1) {
    GenSignalClass obj;
    std::vector<C> out(room >= 0 ? room : symbols.size() * stride, kMark);
    obj.DigitalModAPQAM(symbols.data(), static_cast<int>(symbols.size()), static_cast<DigitalModulType>(type), span,
                        stride, out.data());
    return out;
}

TEST(Mapper, KnownPoints) {
    const float r = 0.70710677f;
    EXPECT_EQ(mapped({0, 1}, BPSK), (std::vector<C>{{1, 0}, {-1, 1.2246469e-16f}}));
    const auto qpsk = mapped({0, 2}, QPSK);
    EXPECT_EQ(qpsk[0], C(r, r));
    EXPECT_EQ(qpsk[1], C(-r, -r));
    EXPECT_EQ(mapped({3}, ASK4), (std::vector<C>{{3, 0}}));
    EXPECT_EQ(mapped({0, 1}, ASK2), (std::vector<C>{{0, 0}, {1, 0}}));
    EXPECT_EQ(mapped({7}, ASK8), (std::vector<C>{{7, 0}}));
    EXPECT_EQ(mapped({5}, QAM8), (std::vector<C>{{3, -1}}));
    EXPECT_EQ(mapped({8}, QAM16), (std::vector<C>{{3, 3}}));
    EXPECT_EQ(mapped({63}, QAM64), (std::vector<C>{qam64[63]}));
    EXPECT_EQ(mapped({200}, QAM256), (std::vector<C>{qam256[200]}));
    EXPECT_EQ(mapped({700}, QAM1024), (std::vector<C>{qam1024[700]}));
    EXPECT_EQ(mapped({9}, APSK16), (std::vector<C>{apsk16[9]}));
}

TEST(Mapper, DifferentialExamples) {
    const auto dbpsk = mapped({1, 1, 0}, DBPSK);
    EXPECT_NEAR(dbpsk[0].real(), -1, 1e-7);
    EXPECT_NEAR(dbpsk[1].real(), 1, 1e-7);
    EXPECT_NEAR(dbpsk[2].real(), 1, 1e-7);
    for (const C& p : dbpsk) EXPECT_NEAR(p.imag(), 0, 1e-6);
    const auto pi4 = mapped({0, 0}, PI4_DQPSK);
    EXPECT_EQ(pi4[0], C(0.70710677f, 0.70710677f));
    EXPECT_NEAR(pi4[1].real(), 0, 1e-7);
    EXPECT_EQ(pi4[1].imag(), 1.0f);
    // DQPSK and DPSK8 steps are multiples of 2 pi / M with no extra phase.
    const auto dq = mapped({1, 1}, DQPSK);
    EXPECT_NEAR(dq[1].real(), -1, 1e-7);
    const auto d8 = mapped({1}, DPSK8);
    EXPECT_EQ(d8[0], C(0.70710677f, 0.70710677f));
}

// The angles are formed exactly as (2s + 1) pi / M + (phase - pi / M); the algebraically equal
// 2*pi*s/M + phase would differ in the last bits for some symbols.
TEST(Mapper, PskAndDpskRounding) {
    GenSignalClass obj;
    const double pi = 3.141592653589793;
    for (int m : {2, 4, 8, 16}) {
        for (double phase : {0.0, 0.7853981633974483}) {
            std::vector<short> s(m);
            for (int k = 0; k < m; ++k) s[k] = static_cast<short>(k);
            std::vector<C> out(m);
            obj.pskmodForC(s.data(), m, m, phase, 1, out.data());
            for (int k = 0; k < m; ++k) {
                const double theta = (2 * k + 1) * pi / m + (phase - pi / m);
                EXPECT_EQ(out[k], C(static_cast<float>(std::cos(theta)), static_cast<float>(std::sin(theta))));
            }
        }
    }
    std::mt19937 rng(5);
    std::vector<short> s(5000);
    for (auto& v : s) v = static_cast<short>(rng() % 4);
    std::vector<C> out(s.size());
    obj.dpskmodForC(s.data(), static_cast<int>(s.size()), 4, 0.7853981633974483, 1, out.data());
    const double delta = 6.283185307179586 / 4;
    double theta = 0;
    int closeToNaive = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        theta = (i == 0 ? 0.0 : theta) + std::fma(delta, s[i], 0.7853981633974483);
        ASSERT_EQ(out[i], C(static_cast<float>(std::cos(theta)), static_cast<float>(std::sin(theta)))) << i;
        const double reduced = std::fmod(theta, 2 * pi);
        if (C(static_cast<float>(std::cos(reduced)), static_cast<float>(std::sin(reduced))) == out[i]) ++closeToNaive;
    }
    // The phase is never reduced modulo 2 pi, and that shows in the bits.
    EXPECT_LT(closeToNaive, static_cast<int>(s.size()));
}

TEST(Mapper, StrideWritesOnlyEveryStrideElement) {
    for (int type : {BPSK, QPSK, DQPSK, ASK2, QAM16, APSK16}) {
        const auto out = mapped({1, 0}, type, 0, 4);
        for (int j = 0; j < 8; ++j) EXPECT_EQ(out[j] == kMark, j != 0 && j != 4) << type << " " << j;
    }
}

TEST(Mapper, TailCopyRepeatsTheLeadingSlots) {
    // The accumulated phase at slot 8 differs from the phase at slot 0 for
    // every differential kind.
    const std::vector<short> s{1, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int type : {DBPSK, DQPSK, PI4_DQPSK, DPSK8}) {
        auto out = mapped(s, type, 2, 4);
        for (int j = 0; j < 8; ++j) EXPECT_EQ(out[32 + j], out[j]) << type << " " << j;
        // Without the copy the tail would carry the accumulated phase instead.
        const auto plain = mapped(s, type, 0, 4);
        EXPECT_EQ(std::vector<C>(out.begin(), out.begin() + 32), std::vector<C>(plain.begin(), plain.begin() + 32));
        EXPECT_NE(out[32], plain[32]) << type;
    }
}

TEST(Mapper, OverlappingTailCopyRepeatsWithShorterPeriod) {
    // count 3, span 2, stride 1: out[1] = out[0], then out[2] = out[1].
    const auto out = mapped({1, 0, 1}, DBPSK, 2, 1);
    EXPECT_EQ(out[1], out[0]);
    EXPECT_EQ(out[2], out[0]);
}

TEST(Mapper, SpanLongerThanCountCopiesNothing) {
    const auto out = mapped({1, 1, 1}, DQPSK, 4, 2, 16);
    const auto plain = mapped({1, 1, 1}, DQPSK, 0, 2, 16);
    EXPECT_EQ(out, plain);
    for (int j = 6; j < 16; ++j) EXPECT_EQ(out[j], kMark);
}

TEST(Mapper, NothingWrittenForCountZeroStrideZeroOrUnmappedTypes) {
    for (int type = 0; type <= 23; ++type) {
        EXPECT_EQ(mapped({}, type, 2, 4, 8), std::vector<C>(8, kMark)) << type;
        EXPECT_EQ(mapped({1, 0}, type, 0, 0, 4), std::vector<C>(4, kMark)) << type;
    }
    for (int type : {0, int{OQPSK}, int{FSK2}, int{FSK4}, int{FSK8}, int{FSK16}, 23, -3})
        EXPECT_EQ(mapped({1, 0, 1}, type, 1, 2), std::vector<C>(6, kMark)) << type;
}

TEST(Mapper, SymbolsOutsideTheTableLeaveTheirElementUntouched) {
    const std::pair<int, int> kinds[] = {{QAM8, 8},     {QAM16, 16},     {QAM64, 64},
                                         {QAM256, 256}, {QAM1024, 1024}, {APSK16, 16}};
    for (const auto& [type, m] : kinds) {
        const auto out = mapped({0, static_cast<short>(m), -1, static_cast<short>(m - 1), 32767, -32768}, type);
        EXPECT_NE(out[0], kMark);
        EXPECT_EQ(out[1], kMark) << type;
        EXPECT_EQ(out[2], kMark) << type;
        EXPECT_NE(out[3], kMark);
        EXPECT_EQ(out[4], kMark) << type;
        EXPECT_EQ(out[5], kMark) << type;
    }
}

TEST(Mapper, IndependentOfThreadCount) {
    std::mt19937 rng(6);
    std::vector<short> s(20011);
    for (auto& v : s) v = static_cast<short>(rng() % 1024);
    const int saved = omp_get_max_threads();
    for (int type = 1; type <= 22; ++type) {
        std::vector<short> sym(s);
        int m = 0, err = 0;
        GenSignalClass().getOrderM(static_cast<DigitalModulType>(type), &m, &err);
        for (auto& v : sym) v = static_cast<short>(v % m);
        omp_set_num_threads(1);
        const auto one = mapped(sym, type, 3, 3);
        omp_set_num_threads(2);
        const auto two = mapped(sym, type, 3, 3);
        EXPECT_EQ(one, two) << type;
    }
    omp_set_num_threads(saved);
}

// The points come from a table worked out once per alphabet; every symbol,
// in range or not, gets exactly the point its own angle gives.
TEST(Mapper, PskPointTableEqualsThePerSymbolExpression) {
    GenSignalClass obj;
    const double pi = 3.141592653589793;
    std::mt19937 rng(9);
    const int saved = omp_get_max_threads();
    for (int m : {1, 2, 3, 4, 8, 16, 64, 65, 300}) {
        const double phase = m % 2 ? 0.7853981633974483 : std::uniform_real_distribution<double>(-7, 7)(rng);
        std::vector<short> s(20011);
        for (auto& v : s) v = static_cast<short>(rng() % 8 == 0 ? static_cast<int>(rng() % 700) - 350 : rng() % m);
        std::vector<C> want(s.size());
        for (size_t i = 0; i < s.size(); ++i) {
            const double theta = (2 * s[i] + 1) * pi / m + (phase - pi / m);
            want[i] = C(static_cast<float>(std::cos(theta)), static_cast<float>(std::sin(theta)));
        }
        for (int threads : {1, 2, 3}) {
            omp_set_num_threads(threads);
            std::vector<C> out(2 * s.size(), kMark);
            obj.pskmodForC(s.data(), static_cast<int>(s.size()), m, phase, 2, out.data());
            for (size_t i = 0; i < s.size(); ++i) {
                ASSERT_TRUE(std::memcmp(&out[2 * i], &want[i], sizeof(C)) == 0) << m << " " << i << " " << s[i];
                ASSERT_EQ(out[2 * i + 1], kMark);
            }
        }
    }
    omp_set_num_threads(saved);
}

}  // namespace
