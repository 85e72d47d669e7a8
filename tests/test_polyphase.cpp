// Filtering the zero-stuffed train from its points alone, against the plain
// filtering of the whole train, term by term: every sps from 1 to 16, tap
// counts from 1 up, trains shorter than the filter, sub-ranges, non-finite
// taps, for each kernel variant.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

#include "genSignalClass.h"
#include "kernelVariants.h"
#include "polyphaseFilter.h"
#include "testSupport.h"

namespace {

using C = std::complex<float>;
using testing_support::sameBits;

// The literal twins: build the train, filter every term.
std::vector<C> stuffedTrain(const std::vector<C>& points, int sps) {
    std::vector<C> train(points.size() * sps, C(0.0f, 0.0f));
    for (size_t j = 0; j < points.size(); ++j) train[j * sps] = points[j];
    return train;
}

std::vector<C> literalComplex(const std::vector<C>& x, const std::vector<float>& h) {
    const int m = static_cast<int>(h.size());
    const int len = static_cast<int>(x.size()) - m + 1;
    std::vector<C> y(len > 0 ? len : 0);
    for (int i = 0; i < len; ++i) {
        double re = 0.0, im = 0.0;
        for (int k = 0; k < m; ++k) {
            re = std::fma(static_cast<double>(x[i + k].real()), static_cast<double>(h[k]), re);
            im = std::fma(static_cast<double>(x[i + k].imag()), static_cast<double>(h[k]), im);
        }
        y[i] = {static_cast<float>(re), static_cast<float>(im)};
    }
    return y;
}

std::vector<float> literalReal(const std::vector<float>& x, const std::vector<float>& h) {
    const int m = static_cast<int>(h.size());
    const int len = static_cast<int>(x.size()) - m + 1;
    std::vector<float> y(len > 0 ? len : 0);
    for (int i = 0; i < len; ++i) {
        double acc = 0.0;
        for (int k = 0; k < m; ++k) acc += static_cast<double>(h[k] * x[i + k]);
        y[i] = static_cast<float>(acc);
    }
    return y;
}

// Same bits, or NaN on both sides (which NaN an operation yields when
// several meet is not part of the result: the frame refuses them all).
bool sameValue(float a, float b) { return sameBits(a, b) || (std::isnan(a) && std::isnan(b)); }

::testing::AssertionResult sameOutputs(const std::vector<C>& got, const std::vector<C>& want) {
    if (got.size() != want.size()) return ::testing::AssertionFailure() << got.size() << " vs " << want.size();
    for (size_t i = 0; i < got.size(); ++i)
        if (!sameValue(got[i].real(), want[i].real()) || !sameValue(got[i].imag(), want[i].imag()))
            return ::testing::AssertionFailure() << "output " << i << ": " << got[i] << " vs " << want[i];
    return ::testing::AssertionSuccess();
}
::testing::AssertionResult sameOutputs(const std::vector<float>& got, const std::vector<float>& want) {
    if (got.size() != want.size()) return ::testing::AssertionFailure() << got.size() << " vs " << want.size();
    for (size_t i = 0; i < got.size(); ++i)
        if (!sameValue(got[i], want[i]))
            return ::testing::AssertionFailure() << "output " << i << ": " << got[i] << " vs " << want[i];
    return ::testing::AssertionSuccess();
}

// Values with widely spread exponents, some exact zeros of either sign.
float spreadValue(std::mt19937& rng) {
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    const int kind = static_cast<int>(rng() % 16);
    if (kind == 0) return 0.0f;
    if (kind == 1) return -0.0f;
    if (kind == 2) return std::ldexp(d(rng), static_cast<int>(rng() % 200) - 100);
    return d(rng);
}

std::vector<float> randomTaps(int m, std::mt19937& rng) {
    std::vector<float> h(m);
    for (auto& v : h) v = spreadValue(rng);
    return h;
}

// Outputs [0, len) in random pieces, put together.
template <class T, class Shape>
std::vector<T> inPieces(int64_t len, std::mt19937& rng, Shape shape) {
    std::vector<T> y(len, T(-77.0f));
    for (int64_t first = 0; first < len;) {
        const int64_t last = std::min<int64_t>(len, first + 1 + static_cast<int64_t>(rng() % 40));
        shape(first, last, y.data() + first);
        first = last;
    }
    return y;
}

class Polyphase : public testing_support::KernelVariantTest {};

TEST_P(Polyphase, EqualsThePlainFilteringOfTheStuffedTrain) {
    std::mt19937 rng(21);
    GenSignalClass obj;
    for (int sps = 1; sps <= 16; ++sps) {
        for (int m : {1, 2, 3, sps, sps + 1, 2 * sps + 1, 6 * sps + 1, 6 * sps, 13, 31}) {
            for (int symbols : {1, 2, 3, 7, 40, 257}) {
                std::vector<C> points(symbols);
                std::vector<float> levels(symbols);
                for (int j = 0; j < symbols; ++j)
                    points[j] = {spreadValue(rng), spreadValue(rng)}, levels[j] = spreadValue(rng);
                const auto h = randomTaps(m, rng);
                const auto train = stuffedTrain(points, sps);
                std::vector<float> realTrain(train.size());
                for (size_t i = 0; i < train.size(); ++i) realTrain[i] = train[i].real();
                for (int j = 0; j < symbols; ++j) realTrain[j * sps] = levels[j];

                const auto want = literalComplex(train, h);
                const auto wantReal = literalReal(realTrain, h);
                const int64_t len = static_cast<int64_t>(want.size());
                std::vector<C> whole(len);
                shapeStuffedComplex(points.data(), stuffedFilter(h.data(), m, sps), 0, len, whole.data());
                ASSERT_TRUE(sameOutputs(whole, want)) << "sps " << sps << " taps " << m << " symbols " << symbols;
                const auto pieces = inPieces<C>(len, rng, [&](int64_t a, int64_t b, C* out) {
                    shapeStuffedComplex(points.data(), stuffedFilter(h.data(), m, sps), a, b, out);
                });
                ASSERT_TRUE(sameOutputs(pieces, want)) << "sps " << sps << " taps " << m << " symbols " << symbols;
                const auto realPieces = inPieces<float>(len, rng, [&](int64_t a, int64_t b, float* out) {
                    shapeStuffedReal(levels.data(), stuffedFilter(h.data(), m, sps), a, b, out);
                });
                ASSERT_TRUE(sameOutputs(realPieces, wantReal))
                    << "sps " << sps << " taps " << m << " symbols " << symbols;

                // And the library's own convolution of the train agrees.
                std::vector<C> conv(train.size() + 1);
                int convLen = -1;
                obj.conv2_complex(train.data(), static_cast<int>(train.size()), h.data(), m, conv.data(), &convLen);
                conv.resize(convLen);
                ASSERT_TRUE(sameOutputs(conv, want)) << "sps " << sps << " taps " << m << " symbols " << symbols;
            }
        }
    }
}

// Many samples per symbol, asked for a few outputs at a time: each piece
// holds only some of the residue classes.
TEST_P(Polyphase, LongSymbolsInSmallPieces) {
    std::mt19937 rng(23);
    for (int sps : {100, 333}) {
        for (int m : {sps + 1, 2 * sps + 1}) {
            std::vector<C> points(6);
            for (C& p : points) p = {spreadValue(rng), spreadValue(rng)};
            const auto h = randomTaps(m, rng);
            const auto want = literalComplex(stuffedTrain(points, sps), h);
            const StuffedFilter filter = stuffedFilter(h.data(), m, sps);
            const auto got = inPieces<C>(static_cast<int64_t>(want.size()), rng, [&](int64_t a, int64_t b, C* out) {
                shapeStuffedComplex(points.data(), filter, a, b, out);
            });
            ASSERT_TRUE(sameOutputs(got, want)) << "sps " << sps << " taps " << m;
        }
    }
}

// Left out, a +0 input would have met the tap as 0 * inf = NaN: with any
// non-finite tap the outputs are those of the plain filtering.
TEST_P(Polyphase, NonFiniteTapsKeepThePlainOutcome) {
    std::mt19937 rng(22);
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {inf, -inf, std::numeric_limits<float>::quiet_NaN()}) {
        for (int sps : {1, 4, 8}) {
            const int m = 6 * sps + 1;
            std::vector<C> points(30);
            std::vector<float> levels(30);
            for (int j = 0; j < 30; ++j) points[j] = {spreadValue(rng), spreadValue(rng)}, levels[j] = spreadValue(rng);
            auto h = randomTaps(m, rng);
            h[rng() % m] = bad;
            const auto train = stuffedTrain(points, sps);
            std::vector<float> realTrain(train.size(), 0.0f);
            for (int j = 0; j < 30; ++j) realTrain[j * sps] = levels[j];
            const auto want = literalComplex(train, h);
            const auto wantReal = literalReal(realTrain, h);
            std::vector<C> got(want.size());
            std::vector<float> gotReal(wantReal.size());
            shapeStuffedComplex(points.data(), stuffedFilter(h.data(), m, sps), 0, want.size(), got.data());
            shapeStuffedReal(levels.data(), stuffedFilter(h.data(), m, sps), 0, wantReal.size(), gotReal.data());
            EXPECT_TRUE(sameOutputs(got, want)) << bad << " sps " << sps;
            EXPECT_TRUE(sameOutputs(gotReal, wantReal)) << bad << " sps " << sps;
            bool anyNaN = false;
            for (const C& y : got) anyNaN |= std::isnan(y.real());
            EXPECT_TRUE(anyNaN) << "a non-finite tap must reach the outputs as it does in the plain filtering";
        }
    }
}

TEST_P(Polyphase, EmptyRangeWritesNothing) {
    const C points[2] = {{1, 1}, {2, 2}};
    const float h[3] = {1, 2, 3};
    C out[1] = {{9, 9}};
    shapeStuffedComplex(points, stuffedFilter(h, 3, 2), 1, 1, out);
    EXPECT_EQ(out[0], C(9, 9));
}

INSTANTIATE_FOR_EVERY_KERNEL_VARIANT(Polyphase);

}  // namespace
