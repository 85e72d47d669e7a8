// The entry-point conversion: peak, scale, rounding, buffer growth and reuse.
#include <gtest/gtest.h>
#include <omp.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <vector>

#include "genSignalClass.h"
#include "sampleConversion.h"

namespace {

template <class T>
T* copyToMalloc(const std::vector<T>& v) {
    auto* p = static_cast<T*>(std::malloc(sizeof(T) * (v.empty() ? 1 : v.size())));
    for (size_t i = 0; i < v.size(); ++i) p[i] = v[i];
    return p;
}

using C = std::complex<float>;

TEST(Conversion, ComplexPeakBecomes32766) {
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<C>({{1, 0}, {3, 4}, {-1, 2}}), 3, &iq, &count), 0);
    ASSERT_EQ(count, 6);
    EXPECT_EQ(iq, obj.iqBuffer);
    // g = 6553.2f; 3g = 19659.6, 4g = 26212.8, rounded half away from zero.
    EXPECT_EQ(iq[2], 19660);
    EXPECT_EQ(iq[3], 26213);
    EXPECT_EQ(iq[0], 6553);
    EXPECT_EQ(iq[1], 0);
    EXPECT_EQ(iq[4], -6553);
    EXPECT_EQ(iq[5], 13106);
}

TEST(Conversion, RealVariantsScaleLargestAbsoluteValue) {
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<double>({0.25, -0.5, 0.5, 0.0}), 4, &iq, &count), 0);
    EXPECT_EQ(count, 8);
    const std::vector<int16_t> expectDouble{16383, 0, -32766, 0, 32766, 0, 0, 0};
    EXPECT_EQ(std::vector<int16_t>(iq, iq + 8), expectDouble);

    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<float>({-0.5f, 0.125f}), 2, &iq, &count), 0);
    EXPECT_EQ(count, 4);
    const std::vector<int16_t> expectFloat{-32766, 0, 8192, 0};  // 8191.5 rounds away from zero
    EXPECT_EQ(std::vector<int16_t>(iq, iq + 4), expectFloat);
}

TEST(Conversion, HalfwayValuesRoundAwayFromZero) {
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = 0;
    // Peak 32766 gives g = 1 exactly, so the samples themselves are rounded.
    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<double>({32766.0, 2.5, -2.5, 0.5}), 4, &iq, &count), 0);
    EXPECT_EQ(iq[2], 3);
    EXPECT_EQ(iq[4], -3);
    EXPECT_EQ(iq[6], 1);
}

TEST(Conversion, AllZeroWaveformGivesZeros) {
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<C>({{0, 0}, {0, 0}, {0, 0}}), 3, &iq, &count), 0);
    EXPECT_EQ(count, 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(iq[i], 0);
}

TEST(Conversion, EmptyResultOnFreshAndUsedObject) {
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = -1;
    EXPECT_EQ(deliverSamples(&obj, copyToMalloc<float>({}), 0, &iq, &count), -1);
    EXPECT_EQ(count, -1);  // a failed call stores nothing
    EXPECT_EQ(iq, nullptr);

    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<float>({1.0f}), 1, &iq, &count), 0);
    int16_t* first = iq;
    iq = nullptr;
    EXPECT_EQ(deliverSamples(&obj, copyToMalloc<float>({}), 0, &iq, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(iq, first);
}

TEST(Conversion, BufferGrowsOnlyWhenNeeded) {
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<double>({1, 2, 3, 4}), 4, &iq, &count), 0);
    int16_t* first = iq;
    EXPECT_EQ(obj.iqCapacity, 8);
    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<double>({-1, 1}), 2, &iq, &count), 0);
    EXPECT_EQ(iq, first);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(iq[0], -32766);
    EXPECT_EQ(iq[4], 24575);  // left from the first call, not part of the result
    EXPECT_EQ(obj.iqCapacity, 8);
    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<double>({1, 2, 3, 4, 5}), 5, &iq, &count), 0);
    EXPECT_EQ(obj.iqCapacity, 10);
}

// A sample that is not finite would scale into garbage: refused before the
// count or the buffer is touched.
TEST(Conversion, NonFiniteSamplesAreRefused) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (C bad : {C{nan, 0}, C{0, nan}, C{inf, 0}, C{0, -inf}}) {
        GenSignalClass obj;
        int16_t* iq = nullptr;
        int count = 77;
        EXPECT_EQ(deliverSamples(&obj, copyToMalloc<C>({{1, 0}, bad, {2, 0}}), 3, &iq, &count), -1);
        EXPECT_EQ(count, 77);
        EXPECT_EQ(iq, nullptr);
        EXPECT_EQ(obj.iqBuffer, nullptr);
    }
    for (double bad : {std::nan(""), -std::numeric_limits<double>::infinity()}) {
        GenSignalClass obj;
        int16_t* iq = nullptr;
        int count = 77;
        EXPECT_EQ(deliverSamples(&obj, copyToMalloc<double>({bad, 1.0}), 2, &iq, &count), -1);
        EXPECT_EQ(count, 77);
    }
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = 77;
    EXPECT_EQ(deliverSamples(&obj, copyToMalloc<float>({1.0f, nan}), 2, &iq, &count), -1);
    EXPECT_EQ(count, 77);
}

// A waveform that is not all zeros but whose peak cannot fix the scale:
// the complex peak's square, formed in float, underflows (imprecise below
// the smallest normal float, 0 further down), or the scale is not a normal
// float. Scaled anyway it would come out past or short of 32766, or as zeros.
TEST(Conversion, PeaksTooSmallOrLargeToScaleAreRefused) {
    for (float tiny : {3e-20f, 1e-21f, 1e-23f, 1e-40f}) {
        GenSignalClass obj;
        int16_t* iq = nullptr;
        int count = 77;
        EXPECT_EQ(deliverSamples(&obj, copyToMalloc<C>({{tiny, 0}, {0, tiny / 2}, {0, 0}}), 3, &iq, &count), -1)
            << tiny;
        EXPECT_EQ(count, 77);
        EXPECT_EQ(obj.iqBuffer, nullptr);
    }
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = 77;
    EXPECT_EQ(deliverSamples(&obj, copyToMalloc<float>({1e-40f, 0.0f}), 2, &iq, &count), -1);
    EXPECT_EQ(deliverSamples(&obj, copyToMalloc<double>({-1e-300, 0.0}), 2, &iq, &count), -1);
    EXPECT_EQ(count, 77);
    // A real peak above 32766 / FLT_MIN has a subnormal scale: imprecise,
    // or 0 further up.
    for (double huge : {3.5e46, 1e60}) {
        EXPECT_EQ(deliverSamples(&obj, copyToMalloc<double>({huge, huge / 2}), 2, &iq, &count), -1) << huge;
        EXPECT_EQ(count, 77);
    }
    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<double>({2e42, -1e42}), 2, &iq, &count), 0);
    EXPECT_EQ(iq[0], 32766);
    // The smallest complex peak that still scales: its square is a normal float.
    const float smallest = std::sqrt(FLT_MIN) * 1.0001f;
    ASSERT_EQ(deliverSamples(&obj, copyToMalloc<C>({{smallest, 0}, {0, -smallest}}), 2, &iq, &count), 0);
    EXPECT_EQ(iq[0], 32766);
    EXPECT_EQ(iq[3], -32766);
}

TEST(Conversion, CountsOf2To30SamplesAreRefused) {
    GenSignalClass obj;
    int16_t* iq = nullptr;
    int count = 77;
    EXPECT_EQ(deliverSamples(&obj, copyToMalloc<float>({1.0f}), 1 << 30, &iq, &count), -1);
    EXPECT_EQ(count, 77);
    EXPECT_EQ(obj.iqBuffer, nullptr);
}

// Long waveforms go through the team block by block: in place (a fresh
// object, the samples' own array becomes the buffer) and into a buffer
// that is large enough, every value must be the one a plain loop over the
// samples gives, at any team size, with the peak in the last block.
template <class Sample>
Sample wavy(int i, int n) {
    const double v = std::sin(0.001 * i) * (i == n - 3 ? 1.5 : 1.0);
    if constexpr (std::is_same_v<Sample, C>)
        return C{static_cast<float>(v), static_cast<float>(std::cos(0.0007 * i) * 0.5)};
    else
        return static_cast<Sample>(v);
}

template <class Sample>
std::vector<int16_t> plainConversion(const std::vector<Sample>& x) {
    double peak = 0;
    for (const Sample& v : x) {
        if constexpr (std::is_same_v<Sample, C>)
            peak = std::max(peak, static_cast<double>(std::fma(v.real(), v.real(), v.imag() * v.imag())));
        else
            peak = std::max(peak, std::fabs(static_cast<double>(v)));
    }
    if constexpr (std::is_same_v<Sample, C>) peak = std::sqrt(peak);
    const float g = static_cast<float>(32766.0 / peak);
    std::vector<int16_t> out;
    for (const Sample& v : x) {
        if constexpr (std::is_same_v<Sample, C>) {
            out.push_back(static_cast<int16_t>(std::lroundf(g * v.real())));
            out.push_back(static_cast<int16_t>(std::lroundf(g * v.imag())));
        } else if constexpr (std::is_same_v<Sample, double>) {
            out.push_back(static_cast<int16_t>(std::lround(static_cast<double>(g) * v)));
            out.push_back(0);
        } else {
            out.push_back(static_cast<int16_t>(std::lroundf(g * v)));
            out.push_back(0);
        }
    }
    return out;
}

template <class Sample>
void checkLongConversion() {
    const int saved = omp_get_max_threads();
    for (int n : {(1 << 15) + 1, 250001}) {
        std::vector<Sample> x(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = wavy<Sample>(i, n);
        const std::vector<int16_t> expected = plainConversion(x);
        for (int threads : {1, 2, 3}) {
            omp_set_num_threads(threads);
            for (bool reused : {false, true}) {
                GenSignalClass obj;
                int16_t* iq = nullptr;
                int count = 0;
                if (reused) {
                    ASSERT_EQ(deliverSamples(&obj, copyToMalloc(x), n, &iq, &count), 0);
                }
                ASSERT_EQ(deliverSamples(&obj, copyToMalloc(x), n, &iq, &count), 0);
                ASSERT_EQ(count, 2 * n);
                EXPECT_TRUE(std::vector<int16_t>(iq, iq + count) == expected)
                    << n << " samples, " << threads << " threads, " << (reused ? "reused buffer" : "in place");
            }
            // A sample that is not finite far into the waveform is still seen.
            std::vector<Sample> bad = x;
            bad[static_cast<size_t>(n) - 2] = wavy<Sample>(0, n) + static_cast<Sample>(std::nanf(""));
            GenSignalClass obj;
            int16_t* iq = nullptr;
            int count = 77;
            EXPECT_EQ(deliverSamples(&obj, copyToMalloc(bad), n, &iq, &count), -1) << threads << " threads";
            EXPECT_EQ(count, 77);
        }
    }
    omp_set_num_threads(saved);
}

TEST(Conversion, LongWaveformsMatchAPlainLoopAtAnyTeamSize) {
    checkLongConversion<C>();
    checkLongConversion<double>();
    checkLongConversion<float>();
}

}  // namespace
