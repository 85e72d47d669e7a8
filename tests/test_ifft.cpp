// Inverse FFT and OFDM symbol modulator: exact small cases, agreement with a
// direct inverse DFT, refused lengths, and the symbol layout.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "genSignalClass.h"
#include "ofdmMod.h"

namespace {

using C = std::complex<float>;
const std::string kMessage = "my_ifft: nfft must be a positive power of 2.\n";

std::vector<C> randomPoints(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<C> v(n);
    for (auto& x : v) x = {u(gen), u(gen)};
    return v;
}

bool sameBits(C a, C b) { return std::memcmp(&a, &b, sizeof(C)) == 0; }

TEST(Ifft, TwoPointsAreHalfSumAndHalfDifference) {
    std::vector<C> x{{3.0f, -1.5f}, {0.25f, 7.0f}};
    my_ifft(x.data(), 2);
    EXPECT_EQ(x[0], C((3.0f + 0.25f) / 2, (-1.5f + 7.0f) / 2));
    EXPECT_EQ(x[1], C((3.0f - 0.25f) / 2, (-1.5f - 7.0f) / 2));
}

TEST(Ifft, ImpulseAtZeroGivesFlatOneOverN) {
    for (int n : {1, 2, 8, 64, 1024}) {
        std::vector<C> x(n);
        x[0] = 1.0f;
        my_ifft(x.data(), n);
        for (int i = 0; i < n; ++i) ASSERT_EQ(x[i], C(1.0f / n, 0.0f)) << n << " " << i;
    }
}

// An impulse at index 1 exposes the twiddles themselves: the last stage
// leaves x[k] = w_k / N and x[k + N/2] = -w_k / N, where w_k is the step
// raised to k by repeated float multiplication, and the step comes from an
// angle rounded to float (so cos(pi/2) is -4.371139e-8, not 0).
TEST(Ifft, ImpulseAtOneRotatesCounterClockwiseWithCarriedTwiddles) {
    for (int n : {4, 8, 16}) {
        std::vector<C> x(n);
        x[1] = 1.0f;
        my_ifft(x.data(), n);
        const float theta = static_cast<float>(6.283185307179586 / n);
        const C step(std::cos(theta), std::sin(theta));
        C w(1.0f, 0.0f);
        for (int k = 0; k < n / 2; ++k) {
            const C expect(w.real() / n, w.imag() / n);
            EXPECT_TRUE(sameBits(x[k], expect)) << n << " " << k << " " << x[k] << " " << expect;
            EXPECT_TRUE(sameBits(x[k + n / 2], C((0.0f - w.real()) / n, (0.0f - w.imag()) / n))) << n << " " << k;
            w = w * step;
        }
        EXPECT_GT(x[1].imag(), 0.0f);  // positive exponent
    }
    std::vector<C> x(4);
    x[1] = 1.0f;
    my_ifft(x.data(), 4);
    EXPECT_EQ(x[1], C(-4.371139e-8f / 4, 0.25f));
}

// The transform spells out (ac - bd, ad + bc); the library's complex
// operator* must give the same bits for finite operands, or the two could
// be swapped without notice.
TEST(Ifft, ComplexProductIsThePlainFormula) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> u(-1e4f, 1e4f);
    for (int i = 0; i < 100000; ++i) {
        const C x(u(gen), u(gen)), y(u(gen), u(gen));
        const float a = x.real(), b = x.imag(), c = y.real(), d = y.imag();
        ASSERT_TRUE(sameBits(x * y, C(a * c - b * d, a * d + b * c))) << x << y;
    }
}

// The transform as first written: blocks outside, twiddle carried inside
// each block with the library's complex operator*. The library runs the
// loops the other way round; the bits must not change.
void literalIfft(std::vector<C>& x) {
    const int n = static_cast<int>(x.size());
    int j = 0;
    for (int i = 1; i < n - 1; ++i) {
        int h = n / 2;
        while (j >= h) {
            j -= h;
            h /= 2;
        }
        j += h;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (int len = 2; len <= n; len *= 2) {
        const float theta = static_cast<float>(6.283185307179586 / static_cast<double>(static_cast<float>(len)));
        const C step(std::cos(theta), std::sin(theta));
        for (int b = 0; b < n; b += len) {
            C w(1.0f, 0.0f);
            for (int k = 0; k < len / 2; ++k) {
                const C t = x[b + k + len / 2] * w;
                const C u = x[b + k];
                x[b + k] = u + t;
                x[b + k + len / 2] = u - t;
                w = w * step;
            }
        }
    }
    for (auto& v : x) v /= static_cast<float>(n);
}

class IfftVersusDft : public ::testing::TestWithParam<int> {};

TEST_P(IfftVersusDft, MatchesDirectInverseDftToFloatRounding) {
    const int n = GetParam();
    const auto in = randomPoints(static_cast<size_t>(n), 100u + static_cast<unsigned>(n));
    std::vector<C> x = in;
    my_ifft(x.data(), n);

    std::vector<std::complex<double>> root(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) root[k] = std::polar(1.0, 2 * M_PI * k / n);
    double worst = 0;
    for (int t = 0; t < n; ++t) {
        std::complex<double> acc = 0;
        for (int m = 0; m < n; ++m)
            acc += std::complex<double>(in[m].real(), in[m].imag()) * root[(static_cast<int64_t>(m) * t) % n];
        acc /= n;
        worst = std::max(worst, std::abs(std::complex<double>(x[t].real(), x[t].imag()) - acc));
    }
    // Measured errors stay near 1.5e-8 * sqrt(n) (float rounding compounded
    // by the carried twiddles); outputs are about 0.8 / sqrt(n), so a wrong
    // bin, sign or scale overshoots this bound by orders of magnitude.
    EXPECT_LT(worst, 2e-7 * std::sqrt(static_cast<double>(n))) << "n = " << n;
}

TEST_P(IfftVersusDft, SameBitsAsTheBlockOrderedTransform) {
    const int n = GetParam();
    for (unsigned seed = 0; seed < 20; ++seed) {
        std::vector<C> x = randomPoints(static_cast<size_t>(n), seed * 7919u + static_cast<unsigned>(n));
        std::vector<C> ref = x;
        my_ifft(x.data(), n);
        literalIfft(ref);
        for (int i = 0; i < n; ++i) ASSERT_TRUE(sameBits(x[i], ref[i])) << "n " << n << " seed " << seed << " i " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, IfftVersusDft,
                         ::testing::Values(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096),
                         [](const auto& info) { return "n" + std::to_string(info.param); });

class IfftBadLength : public ::testing::TestWithParam<int> {};

TEST_P(IfftBadLength, PrintsOnceAndLeavesDataAlone) {
    const int n = GetParam();
    const auto in = randomPoints(16, 3);
    std::vector<C> x = in;
    testing::internal::CaptureStderr();
    my_ifft(x.data(), n);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kMessage);
    for (size_t i = 0; i < x.size(); ++i) EXPECT_TRUE(sameBits(x[i], in[i])) << i;
}

INSTANTIATE_TEST_SUITE_P(Lengths, IfftBadLength, ::testing::Values(0, -4, 6, 12, -2147483647 - 1, 3),
                         [](const auto& info) {
                             return info.param < 0 ? "minus" + std::to_string(-static_cast<int64_t>(info.param))
                                                   : "n" + std::to_string(info.param);
                         });

TEST(Ifft, LengthOneIsSilentAndUnchanged) {
    C x(0.3f, -0.7f);
    testing::internal::CaptureStderr();
    my_ifft(&x, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(x, C(0.3f, -0.7f));
}

// --- OFDM symbol modulator ---

struct ModRun {
    std::vector<C> out;
    int count;
};

const C kCanary(-123.0f, 456.0f);

// Runs the modulator into an array with `room` samples plus a canary tail.
ModRun modulate(const std::vector<C>& points, int symbols, int n, int p, const std::vector<int>& pos, int used,
                size_t room) {
    GenSignalClass obj;
    ModRun r{std::vector<C>(room + 8, kCanary), -7};
    obj.ofdmmodForC(points.data(), symbols, n, p, pos.data(), used, r.out.data(), &r.count);
    for (size_t i = room; i < r.out.size(); ++i) EXPECT_EQ(r.out[i], kCanary) << "overrun at " << i;
    r.out.resize(room);
    return r;
}

TEST(OfdmMod, SingleSubcarrierIsAPureToneWithPrefix) {
    const int n = 64, p = 16;
    for (int m : {-32, -5, 0, 1, 31}) {
        const ModRun r = modulate({{1.0f, 0.0f}}, 1, n, p, {n / 2 + m}, 1, n + p);
        ASSERT_EQ(r.count, n + p);
        for (int t = 0; t < n; ++t) {
            const std::complex<double> expect = std::polar(1.0 / n, 2 * M_PI * m * t / n);
            EXPECT_NEAR(r.out[p + t].real(), expect.real(), 1e-6) << m << " " << t;
            EXPECT_NEAR(r.out[p + t].imag(), expect.imag(), 1e-6) << m << " " << t;
        }
        for (int j = 0; j < p; ++j) EXPECT_EQ(r.out[j], r.out[n + j]);
        if (m == 0) {
            for (const C& v : r.out) EXPECT_EQ(v, C(1.0f / n, 0.0f));
        }
    }
}

struct Layout {
    int n, p, symbols, used;
};

class OfdmModLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(OfdmModLayout, PrefixRepeatsTheBodyTailAndBodiesAreTheTransforms) {
    const auto c = GetParam();
    const auto points = randomPoints(static_cast<size_t>(c.symbols * c.used), 11);
    std::vector<int> pos(static_cast<size_t>(c.used));
    for (int i = 0; i < c.used; ++i) pos[i] = (i * 7 + 3) % c.n;  // scattered, distinct for these cases
    const size_t total = static_cast<size_t>(c.symbols) * (c.n + c.p);
    const ModRun r = modulate(points, c.symbols, c.n, c.p, pos, c.used, total);
    ASSERT_EQ(r.count, static_cast<int>(total));
    for (int s = 0; s < c.symbols; ++s) {
        const C* sym = r.out.data() + static_cast<size_t>(s) * (c.n + c.p);
        for (int j = 0; j < c.p; ++j) ASSERT_TRUE(sameBits(sym[j], sym[j + c.n])) << s << " " << j;
        // The body is my_ifft of the half-exchanged centred spectrum.
        std::vector<C> spec(static_cast<size_t>(c.n));
        for (int u = 0; u < c.used; ++u) spec[pos[u]] = points[static_cast<size_t>(s * c.used + u)];
        std::vector<C> bins(spec.size());
        for (int k = 0; k < c.n; ++k) bins[(k + c.n / 2) % c.n] = spec[k];
        my_ifft(bins.data(), c.n);
        for (int t = 0; t < c.n; ++t) ASSERT_TRUE(sameBits(sym[c.p + t], bins[t])) << s << " " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OfdmModLayout,
                         ::testing::Values(Layout{64, 16, 3, 52}, Layout{64, 0, 2, 10}, Layout{16, 16, 4, 16},
                                           Layout{1, 1, 3, 1}, Layout{2, 1, 2, 2}, Layout{256, 64, 2, 200}),
                         [](const auto& info) {
                             const auto& c = info.param;
                             return "n" + std::to_string(c.n) + "p" + std::to_string(c.p) + "s" +
                                    std::to_string(c.symbols);
                         });

TEST(OfdmMod, RepeatedPositionKeepsTheLaterPoint) {
    const ModRun r = modulate({{5.0f, 0.0f}, {1.0f, 0.0f}}, 1, 8, 0, {4, 4}, 2, 8);
    for (const C& v : r.out) EXPECT_EQ(v, C(0.125f, 0.0f));
}

TEST(OfdmMod, LengthNotPowerOfTwoKeepsTheExchangedSpectrumAndComplainsPerSymbol) {
    // N = 6: halves of 3 are exchanged, the body stays untransformed.
    const std::vector<C> points{{1, 0}, {2, 0}, {3, 0}, {4, 0}};
    testing::internal::CaptureStderr();
    const ModRun r = modulate(points, 2, 6, 2, {0, 4}, 2, 16);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kMessage + kMessage);
    ASSERT_EQ(r.count, 16);
    // Spectrum [1, 0, 0, 0, 2, 0] becomes [0, 2, 0, 1, 0, 0]; prefix = last two.
    const std::vector<C> first{{0, 0}, {0, 0}, {0, 0}, {2, 0}, {0, 0}, {1, 0}, {0, 0}, {0, 0}};
    const std::vector<C> second{{0, 0}, {0, 0}, {0, 0}, {4, 0}, {0, 0}, {3, 0}, {0, 0}, {0, 0}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(r.out[i], first[i]) << i;
        EXPECT_EQ(r.out[8 + i], second[i]) << i;
    }
}

struct BadMod {
    const char* name;
    int symbols, n, p, used;
    std::vector<int> pos;
    bool nullPoints, nullPositions;
};

class OfdmModRefuses : public ::testing::TestWithParam<BadMod> {};

TEST_P(OfdmModRefuses, CountZeroAndOutputUntouched) {
    const auto c = GetParam();
    const auto points = randomPoints(8, 5);
    GenSignalClass obj;
    std::vector<C> out(64, kCanary);
    int count = -7;
    obj.ofdmmodForC(c.nullPoints ? nullptr : points.data(), c.symbols, c.n, c.p,
                    c.nullPositions ? nullptr : c.pos.data(), c.used, out.data(), &count);
    EXPECT_EQ(count, 0);
    for (const C& v : out) ASSERT_EQ(v, kCanary);
}

INSTANTIATE_TEST_SUITE_P(Cases, OfdmModRefuses,
                         ::testing::Values(BadMod{"NoSubcarriers", 1, 8, 2, 0, {1}, false, false},
                                           BadMod{"NoSymbols", 0, 8, 2, 1, {1}, false, false},
                                           BadMod{"NoFft", 1, 0, 0, 1, {0}, false, false},
                                           BadMod{"NegativePrefix", 1, 8, -1, 1, {1}, false, false},
                                           BadMod{"PrefixLongerThanBody", 1, 8, 9, 1, {1}, false, false},
                                           BadMod{"PositionBelowZero", 1, 8, 2, 2, {1, -1}, false, false},
                                           BadMod{"PositionPastTheEnd", 1, 8, 2, 2, {8, 1}, false, false},
                                           BadMod{"NullPoints", 1, 8, 2, 1, {1}, true, false},
                                           BadMod{"NullPositions", 1, 8, 2, 1, {1}, false, true},
                                           BadMod{"TotalBeyondInt", 2, 1 << 30, 0, 1, {1}, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OfdmMod, NullOutputOrCountPointer) {
    GenSignalClass obj;
    const C point(1, 0);
    const int pos = 0;
    int count = -7;
    obj.ofdmmodForC(&point, 1, 1, 0, &pos, 1, nullptr, &count);
    EXPECT_EQ(count, 0);
    C out[2] = {kCanary, kCanary};
    obj.ofdmmodForC(&point, 1, 1, 1, &pos, 1, out, nullptr);  // count pointer is optional
    EXPECT_EQ(out[0], C(1, 0));
    EXPECT_EQ(out[1], C(1, 0));
}

}  // namespace
