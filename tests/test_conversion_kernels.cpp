// The frame's kernels against their literal forms: lroundf / lround on every
// float up to 32768 in magnitude, the peak searches, and whole conversions
// for every variant and thread count.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "conversionKernels.h"
#include "cpuDispatch.h"
#include "genSignalClass.h"
#include "kernelVariants.h"
#include "sampleConversion.h"
#include "testSupport.h"

namespace {

using C = std::complex<float>;
using testing_support::KernelVariantTest;
using testing_support::sameBits;

// --- literal twins of the frame ---------------------------------------------

double literalPeak(const double* x, int n) {
    double peak = 0.0;
    for (int i = 0; i < n; ++i) {
        double a = std::fabs(x[i]);
        if (!(a <= std::numeric_limits<double>::max())) return std::nan("");
        if (a > peak) peak = a;
    }
    return peak;
}
double literalPeak(const float* x, int n) {
    double peak = 0.0;
    for (int i = 0; i < n; ++i) {
        double a = static_cast<double>(std::fabs(x[i]));
        if (!(a <= std::numeric_limits<double>::max())) return std::nan("");
        if (a > peak) peak = a;
    }
    return peak;
}
double literalSquaredPeak(const C* x, int n) {
    double peak = 0.0;
    for (int i = 0; i < n; ++i) {
        float re = x[i].real(), im = x[i].imag();
        double m = static_cast<double>(std::fma(re, re, im * im));
        if (!(m <= std::numeric_limits<double>::max())) return std::nan("");
        if (m > peak) peak = m;
    }
    return peak;
}
double literalPeak(const C* x, int n) { return std::sqrt(literalSquaredPeak(x, n)); }
// A complex peak whose square falls below the smallest normal float.
bool squareUnderflows(const C* x, int n) { return literalSquaredPeak(x, n) < FLT_MIN; }
bool squareUnderflows(const float*, int) { return false; }
bool squareUnderflows(const double*, int) { return false; }
void literalConvert(const double* x, int n, float g, int16_t* out) {
    const double gd = g;
    for (int i = 0; i < n; ++i) {
        out[2 * i] = static_cast<int16_t>(std::lround(gd * x[i]));
        out[2 * i + 1] = 0;
    }
}
void literalConvert(const float* x, int n, float g, int16_t* out) {
    for (int i = 0; i < n; ++i) {
        out[2 * i] = static_cast<int16_t>(std::lroundf(g * x[i]));
        out[2 * i + 1] = 0;
    }
}
void literalConvert(const C* x, int n, float g, int16_t* out) {
    for (int i = 0; i < n; ++i) {
        out[2 * i] = static_cast<int16_t>(std::lroundf(g * x[i].real()));
        out[2 * i + 1] = static_cast<int16_t>(std::lroundf(g * x[i].imag()));
    }
}
// The whole literal frame: NaN peak -> refused (empty), zero peak -> zeros,
// a peak too small or too large to scale a waveform that is not all zeros
// -> refused.
template <class T>
std::vector<int16_t> literalFrame(const std::vector<T>& x, bool* refused) {
    const int n = static_cast<int>(x.size());
    const double peak = n < 1 ? 0.0 : literalPeak(x.data(), n);
    const bool allZero = std::all_of(x.begin(), x.end(), [](T v) { return v == T(0); });
    // A peak whose square underflows float, or whose scale is not a normal
    // float, cannot scale a waveform that is not all zeros.
    const float scale = static_cast<float>(32766.0 / peak);
    const bool unscalable = squareUnderflows(x.data(), n) || !(scale >= FLT_MIN && scale <= FLT_MAX);
    *refused = std::isnan(peak) || (unscalable && !allZero);
    std::vector<int16_t> out(2 * x.size(), 0);
    if (*refused || peak == 0.0) return out;
    literalConvert(x.data(), n, static_cast<float>(32766.0 / peak), out.data());
    return out;
}

// --- rounding on every float ------------------------------------------------

// Every float of magnitude up to 32768, both signs, through both variants'
// rounding (g = 1 leaves each value as it is), against lroundf narrowed to
// int16. 2.4e9 values, in chunks shared among threads.
TEST(ConversionKernels, RoundingEqualsLroundfOnEveryFloatUpTo32768) {
    const uint32_t last = 0x47000000;  // 32768.0f
    const uint32_t chunk = 1 << 16;
    const bool avx2 = cpuHasAvx2Fma();
    long long mismatches = 0;
    uint32_t firstBad = 0;
#pragma omp parallel reduction(+ : mismatches)
    {
        std::vector<float> x(2 * chunk);
        std::vector<int16_t> want(2 * chunk), generic(2 * chunk), fast(2 * chunk);
#pragma omp for schedule(dynamic, 16)
        for (int64_t c = 0; c <= static_cast<int64_t>(last / chunk); ++c) {
            size_t n = 0;
            for (uint32_t b = static_cast<uint32_t>(c) * chunk; b < static_cast<uint32_t>(c + 1) * chunk && b <= last;
                 ++b) {
                float v;
                std::memcpy(&v, &b, sizeof v);
                x[n++] = v;
                x[n++] = -v;
            }
            for (size_t i = 0; i < n; ++i) want[i] = static_cast<int16_t>(std::lroundf(x[i]));
            conversion::generic::scaleRound(x.data(), n, 1.0f, generic.data());
#if GENSIGNAL_AVX2
            if (avx2) conversion::avx2::scaleRound(x.data(), n, 1.0f, fast.data());
#endif
            for (size_t i = 0; i < n; ++i) {
                if (generic[i] != want[i] || (avx2 && fast[i] != want[i])) {
                    ++mismatches;
                    uint32_t bits;
                    std::memcpy(&bits, &x[i], sizeof bits);
#pragma omp critical
                    firstBad = bits;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0) << "e.g. the float with bits 0x" << std::hex << firstBad;
}

// The double path: every whole and half-whole value up to 32768 and its
// neighbours a few ulps either side, plus many values in between.
TEST(ConversionKernels, DoubleRoundingEqualsLround) {
    std::vector<double> x;
    for (int k = -32768; k <= 32768; ++k) {
        for (double centre : {static_cast<double>(k), k + 0.5}) {
            double below = centre, above = centre;
            x.push_back(centre);
            for (int step = 0; step < 3; ++step) {
                below = std::nextafter(below, -INFINITY);
                above = std::nextafter(above, INFINITY);
                x.push_back(below);
                x.push_back(above);
            }
        }
    }
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> any(-32768.0, 32768.0);
    for (int i = 0; i < 2000000; ++i) x.push_back(any(rng));
    std::vector<int16_t> want(2 * x.size()), generic(2 * x.size()), fast(2 * x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        want[2 * i] = static_cast<int16_t>(std::lround(x[i]));
        want[2 * i + 1] = 0;
    }
    conversion::generic::scaleRoundReal(x.data(), x.size(), 1.0, generic.data());
    EXPECT_EQ(generic, want);
#if GENSIGNAL_AVX2
    if (cpuHasAvx2Fma()) {
        conversion::avx2::scaleRoundReal(x.data(), x.size(), 1.0, fast.data());
        EXPECT_EQ(fast, want);
    }
#endif
}

// On x86-64, lroundf of inf and NaN is LONG_MIN, whose low 16 bits are 0;
// the kernels agree. (Elsewhere the conversion saturates: a peak too small
// for a finite scale is refused before any value is converted.)
TEST(ConversionKernels, NonFiniteProductsNarrowToZeroLikeLroundf) {
#if GENSIGNAL_AVX2
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> x{inf, -inf, std::nanf(""), inf, -inf, std::nanf(""), inf, -inf,
                               inf, -inf, std::nanf(""), inf, -inf, std::nanf(""), inf, -inf};
    for (float v : x) ASSERT_EQ(static_cast<int16_t>(std::lroundf(v)), 0);
    if (!cpuHasAvx2Fma()) GTEST_SKIP();
    std::vector<int16_t> out(x.size(), 5);
    conversion::avx2::scaleRound(x.data(), x.size(), 1.0f, out.data());
    EXPECT_EQ(out, std::vector<int16_t>(x.size(), 0));
#else
    GTEST_SKIP() << "x86-64 only";
#endif
}

// --- peaks and whole conversions per variant --------------------------------

class ConversionVariant : public KernelVariantTest {};

std::vector<C> randomComplex(size_t n, std::mt19937& rng) {
    std::uniform_real_distribution<float> d(-3.0f, 3.0f);
    std::vector<C> v(n);
    for (auto& c : v) c = {d(rng), d(rng)};
    return v;
}

TEST_P(ConversionVariant, PeaksMatchTheLiteralSearchOnEveryShortLength) {
    std::mt19937 rng(11);
    const float inf = std::numeric_limits<float>::infinity();
    for (int n = 0; n <= 40; ++n) {
        for (int trial = 0; trial < 20; ++trial) {
            auto c = randomComplex(n, rng);
            std::vector<float> f(n);
            std::vector<double> d(n);
            for (int i = 0; i < n; ++i) f[i] = c[i].real(), d[i] = c[i].imag() * 1e10;
            // A non-finite value somewhere, or a square that overflows float.
            if (n > 0 && trial % 4 == 1) c[rng() % n] = {trial % 8 == 1 ? inf : std::nanf(""), 0.0f};
            if (n > 0 && trial % 4 == 2) c[rng() % n] = {3e19f, 3e19f};
            if (n > 0 && trial % 4 == 3) f[rng() % n] = -inf, d[rng() % n] = std::nan("");
            const double pc = std::sqrt(static_cast<double>(
                conversion::complexPeakSquared(reinterpret_cast<const float*>(c.data()), c.size())));
            const double pf = conversion::realPeak(f.data(), f.size());
            const double pd = conversion::realPeak(d.data(), d.size());
            ASSERT_TRUE(sameBits(pc, literalPeak(c.data(), n)) ||
                        (std::isnan(pc) && std::isnan(literalPeak(c.data(), n))))
                << n << " " << trial;
            ASSERT_TRUE(sameBits(pf, literalPeak(f.data(), n)) ||
                        (std::isnan(pf) && std::isnan(literalPeak(f.data(), n))))
                << n << " " << trial;
            ASSERT_TRUE(sameBits(pd, literalPeak(d.data(), n)) ||
                        (std::isnan(pd) && std::isnan(literalPeak(d.data(), n))))
                << n << " " << trial;
        }
    }
}

// Every length up to past two registers, so that each kernel's rest after its
// last full register lands where the whole would: lroundf / lround of each
// value, Q of a real signal 0, and nothing written past the count.
TEST_P(ConversionVariant, RoundingMatchesLroundOnEveryShortLength) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> value(-40000.0, 40000.0);
    const int16_t unwritten = 0x5A5A;
    for (size_t n = 0; n <= 40; ++n) {
        std::vector<float> f(n);
        std::vector<double> d(n);
        for (size_t i = 0; i < n; ++i) d[i] = value(rng), f[i] = static_cast<float>(d[i]);
        const float gf = 0.75f;
        const double gd = 0.75;
        std::vector<int16_t> complexOut(n + 4, unwritten), realOut(2 * n + 4, unwritten),
            doubleOut(2 * n + 4, unwritten);
        std::vector<int16_t> complexWant(n + 4, unwritten), realWant(2 * n + 4, unwritten),
            doubleWant(2 * n + 4, unwritten);
        for (size_t i = 0; i < n; ++i) {
            complexWant[i] = static_cast<int16_t>(std::lroundf(gf * f[i]));
            realWant[2 * i] = complexWant[i], realWant[2 * i + 1] = 0;
            doubleWant[2 * i] = static_cast<int16_t>(std::lround(gd * d[i])), doubleWant[2 * i + 1] = 0;
        }
        conversion::scaleRound(f.data(), n, gf, complexOut.data());
        conversion::scaleRoundReal(f.data(), n, gf, realOut.data());
        conversion::scaleRoundReal(d.data(), n, gd, doubleOut.data());
        ASSERT_EQ(complexOut, complexWant) << n;
        ASSERT_EQ(realOut, realWant) << n;
        ASSERT_EQ(doubleOut, doubleWant) << n;
    }
}

// deliverSamples against the literal frame: lengths around the SIMD widths
// and the parallel threshold, on a fresh object (converted in place) and on
// one whose buffer is large enough (converted into it), with 1, 2 and 3
// threads.
template <class T>
void expectFrameMatches(const std::vector<T>& x, int threads) {
    bool refused = false;
    const auto want = literalFrame(x, &refused);
    omp_set_num_threads(threads);
    for (bool fresh : {true, false}) {
        GenSignalClass obj;
        int16_t* iq = nullptr;
        int count = -1;
        if (!fresh) {
            obj.iqCapacity = static_cast<int>(2 * x.size() + 8);
            obj.iqBuffer = static_cast<int16_t*>(std::malloc(sizeof(int16_t) * obj.iqCapacity));
        }
        T* copy = static_cast<T*>(std::malloc(sizeof(T) * (x.empty() ? 1 : x.size())));
        std::copy(x.begin(), x.end(), copy);
        const int rc = deliverSamples(&obj, copy, static_cast<int>(x.size()), &iq, &count);
        if (refused) {
            ASSERT_EQ(rc, -1);
            continue;
        }
        if (x.empty() && fresh) continue;  // refused: nothing to hand out
        ASSERT_EQ(rc, 0) << x.size() << " threads " << threads;
        ASSERT_EQ(count, static_cast<int>(2 * x.size()));
        ASSERT_EQ(std::vector<int16_t>(iq, iq + count), want)
            << x.size() << " threads " << threads << " fresh " << fresh;
    }
}

TEST_P(ConversionVariant, WholeFrameMatchesTheLiteralFrame) {
    std::mt19937 rng(12);
    const int saved = omp_get_max_threads();
    for (int n : {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 33, 1000, 32767, 32768, 32769, 100003}) {
        const auto c = randomComplex(n, rng);
        std::vector<float> f(n);
        std::vector<double> d(n);
        for (int i = 0; i < n; ++i) f[i] = c[i].real(), d[i] = static_cast<double>(c[i].imag()) / 7;
        for (int threads : {1, 2, 3}) {
            expectFrameMatches(c, threads);
            expectFrameMatches(f, threads);
            expectFrameMatches(d, threads);
        }
    }
    omp_set_num_threads(saved);
}

TEST_P(ConversionVariant, ZeroTinyAndNonFiniteWaveforms) {
    const int saved = omp_get_max_threads();
    for (int threads : {1, 2}) {
        for (int n : {5, 40000}) {
            expectFrameMatches(std::vector<C>(n, C(0, 0)), threads);
            // Peaks too small to scale (the square underflows, the scale
            // overflows): refused, as the waveform is not all zeros.
            std::vector<C> tiny(n, C(1e-44f, -1e-45f));
            tiny[n / 2] = {0, 0};
            expectFrameMatches(tiny, threads);
            std::vector<float> ftiny(n, -1e-40f);
            expectFrameMatches(ftiny, threads);
            std::vector<double> huge(n, 3.5e46);
            expectFrameMatches(huge, threads);
            std::vector<C> bad(n, C(1, 1));
            bad[n - 1] = {0, std::numeric_limits<float>::infinity()};
            expectFrameMatches(bad, threads);
            std::vector<double> dbad(n, 1.0);
            dbad[n / 3] = std::nan("");
            expectFrameMatches(dbad, threads);
        }
    }
    omp_set_num_threads(saved);
}

INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(ConversionVariant);

}  // namespace
