// The scene's building blocks against plain reference code: the PAPR's
// ranking without a copy of the powers, the fused placement against
// placing and rotating in two passes, and the spectrum the reduction keeps
// against a transform of its result, and the spectrum's scans.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <vector>

#include "burstGate.h"
#include "cpuDispatch.h"
#include "clipFilter.h"
#include "splitDft.h"
#include "crestFactor.h"
#include "fourierTransform.h"
#include "partPlacement.h"
#include "sceneBands.h"

namespace {

std::vector<std::complex<double>> noiseLike(int64_t n) {
    std::vector<std::complex<double>> x(static_cast<size_t>(n));
    uint64_t s = 12345;
    auto next = [&] {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(s >> 11) / 9007199254740992.0 - 0.5;
    };
    for (auto& v : x) v = {next(), next()};
    return x;
}

double referencePaprDb(const std::vector<std::complex<double>>& x, double p) {
    std::vector<double> v;
    for (const auto& c : x) v.push_back(std::norm(c));
    const double mean = meanPower(x.data(), static_cast<int64_t>(x.size()));
    const int64_t n = static_cast<int64_t>(v.size());
    int64_t rank = std::min<int64_t>(n - 1, static_cast<int64_t>(std::floor(p * static_cast<double>(n))));
    std::sort(v.begin(), v.end(), std::greater<double>());
    return 10.0 * std::log10(v[static_cast<size_t>(rank)] / mean);
}

}  // namespace

TEST(ScenePapr, RankedWithoutACopyAsBySortingAllPeakAlongside) {
    struct Case {
        int64_t n;
        double p;
    };
    // One block and many; a rank inside one block and one beyond a block;
    // the peak; large probabilities.
    const Case cases[] = {{1000, 1e-2}, {300000, 1e-4},        {300000, 1e-3}, {300000, 0.3},
                          {300001, 0},  {65536 * 3 + 7, 1e-5}, {200000, 0.1}};
    // Noise; a constant envelope (every power alike, in one bucket); a few
    // peaks over silence.
    const std::function<std::vector<std::complex<double>>(int64_t)> buffers[] = {
        noiseLike,
        [](int64_t n) {
            std::vector<std::complex<double>> x(static_cast<size_t>(n));
            for (int64_t i = 0; i < n; ++i) x[i] = std::polar(0.7, 0.001 * static_cast<double>(i));
            return x;
        },
        [](int64_t n) {
            std::vector<std::complex<double>> x(static_cast<size_t>(n));
            for (int64_t i = 0; i < n; i += 997) x[i] = {static_cast<double>(i % 13), 0.5};
            return x;
        }};
    for (const auto& make : buffers)
        for (const Case& c : cases) {
            const auto x = make(c.n);
            const double got = paprAtDb(x.data(), c.n, c.p);
            EXPECT_EQ(got, referencePaprDb(x, c.p)) << c.n << " at " << c.p;
            // Both figures from one ranking: the peak taken before the ranking moves it.
            const PaprFigures both = paprFigures(x.data(), c.n, c.p);
            EXPECT_EQ(both.atProbabilityDb, got) << c.n << " at " << c.p;
            EXPECT_EQ(both.peakDb, referencePaprDb(x, 0)) << c.n << " at " << c.p;
            // Floats: their powers in double, as the reference takes them.
            std::vector<std::complex<float>> f(x.size());
            std::vector<std::complex<double>> widened(x.size());
            for (size_t i = 0; i < x.size(); ++i) {
                f[i] = std::complex<float>(x[i]);
                widened[i] = std::complex<double>(f[i]);
            }
            const PaprFigures ofFloats = paprFigures(f.data(), c.n, c.p);
            EXPECT_EQ(ofFloats.atProbabilityDb, referencePaprDb(widened, c.p)) << c.n << " at " << c.p;
            EXPECT_EQ(ofFloats.peakDb, referencePaprDb(widened, 0)) << c.n << " at " << c.p;
        }
}

class ScenePlacement : public ::testing::TestWithParam<KernelVariant> {
protected:
    void SetUp() override {
        if (!forceKernels(GetParam())) GTEST_SKIP() << "the CPU cannot run these kernels";
    }
    void TearDown() override { forceKernels(saved_); }

private:
    KernelVariant saved_ = activeKernels();
};

INSTANTIATE_TEST_SUITE_P(Kernels, ScenePlacement, ::testing::Values(KernelVariant::generic, KernelVariant::avx2));

TEST_P(ScenePlacement, FusedPassEqualsPlacingThenRotatingBitForBit) {
    struct Case {
        int64_t partLength, length, delay;
        bool whole;
    };
    // Parts as long as the loop, shorter (repeated, the loop's end cutting
    // one short) and longer (cut); one of a few samples wraps inside every run.
    const Case cases[] = {{1000, 1000, 0, true},    {1000, 9000, 17, true},   {4096, 10000, 9999, false},
                          {333, 20000, 5000, true}, {20000, 12000, 3, false}, {7, 10001, 4, true},
                          {4095, 8193, 1, false}};
    for (const Case& c : cases) {
        const auto d = noiseLike(c.partLength);
        std::vector<std::complex<float>> part;
        for (const auto& v : d) part.emplace_back(static_cast<float>(v.real()), static_cast<float>(v.imag()));
        // Up to six parts of their own delays and carriers: one pass as in part after part.
        std::vector<PlacedPart> placed;
        std::vector<std::complex<float>> work(static_cast<size_t>(c.length));
        std::vector<std::complex<double>> twoPass(static_cast<size_t>(c.length), {0.5, -0.25});
        for (int count = 1; count <= 6; ++count) {
            PartCarrier carrier;
            carrier.whole = c.whole;
            carrier.cycles = 123 - 40 * count;
            carrier.cyclesPerSample = 0.01234 * count - 0.03;
            carrier.phase = 0.7 * count;
            const int64_t delay = c.delay + 7 * (count - 1);
            const float gain = 0.8f / static_cast<float>(count);
            placed.push_back({part.data(), c.partLength, delay, gain, carrier});
            placePart(part.data(), c.partLength, c.length, delay, gain, BurstPattern{}, work.data());
            addRotated(work.data(), c.length, carrier, twoPass.data());
            std::vector<std::complex<double>> fused(static_cast<size_t>(c.length), {0.5, -0.25});
            addPlaced(placed.data(), count, c.length, fused.data());
            EXPECT_TRUE(twoPass == fused) << count << " parts of " << c.partLength << " into " << c.length;
            // The sum alone in floats: the double sum from zero, rounded once.
            std::vector<std::complex<double>> fromZero(static_cast<size_t>(c.length));
            std::vector<std::complex<float>> rounded(static_cast<size_t>(c.length)), inFloats(rounded.size());
            addPlaced(placed.data(), count, c.length, fromZero.data());
            for (size_t n = 0; n < rounded.size(); ++n) rounded[n] = std::complex<float>(fromZero[n]);
            ASSERT_EQ(sumPlaced(placed.data(), count, c.length, inFloats.data()), 0);
            EXPECT_TRUE(rounded == inFloats) << count << " parts of " << c.partLength << " into " << c.length;
        }
        placePart(part.data(), c.partLength, c.length, c.delay, 0.8f, BurstPattern{}, work.data());
        // The placement itself: the delayed, repeated part.
        int64_t wrong = 0;
        for (int64_t n = 0; n < c.length; ++n) {
            const int64_t m = ((n - c.delay) % c.length + c.length) % c.length % c.partLength;
            wrong += work[static_cast<size_t>(n)] != part[static_cast<size_t>(m)] * 0.8f;
        }
        EXPECT_EQ(wrong, 0) << c.partLength << " into " << c.length;
    }
}

TEST(SceneClipFilter, KeepsTheSpectrumItWasGivenAndLeavesOtherBinsAlone) {
    for (int64_t n : {4096, 3000, 7919, 12288}) {  // powers of two and three, a composite, a prime
        // Noise in a band of bins, as a part is, and the band the filter keeps.
        std::vector<unsigned char> keep(static_cast<size_t>(n));
        for (int64_t k = 0; k < n; ++k) keep[k] = k < n / 5 || k > n - n / 7;
        Dft<double> dft, inverse;
        std::vector<std::complex<double>> before = noiseLike(n), x(static_cast<size_t>(n));
        ASSERT_TRUE(dft.plan(static_cast<int>(n), before.data(), before.data(), DftDirection::forward));
        ASSERT_TRUE(inverse.plan(static_cast<int>(n), x.data(), x.data(), DftDirection::backward));
        for (int64_t k = 0; k < n; ++k) x[k] = keep[k] ? before[k] / double(n) : 0.0;
        inverse.execute(x.data(), x.data());
        before = x;
        dft.execute(before.data(), before.data());
        const double paprBefore = paprAtDb(x.data(), n, 1e-4);
        // The reduction takes its bins at the slots of a split transform.
        SplitDft<float> layout;
        std::vector<std::complex<float>> kept(static_cast<size_t>(n));
        ASSERT_EQ(layout.plan(n, DftDirection::forward, kept.data(), 1), 0);
        std::vector<unsigned char> keepSlots(static_cast<size_t>(n));
        for (int64_t k = 0; k < n; ++k) {
            kept[layout.binSlot(k)] = std::complex<float>(before[k]);
            keepSlots[layout.binSlot(k)] = keep[k];
        }
        ClipFilterRequest request;
        request.targetPaprDb = 3;
        ClipFilterResult result;
        ASSERT_EQ(clipAndFilter(x.data(), n, keepSlots.data(), request, result, kept.data()), 0);
        EXPECT_GE(result.iterations, 1) << n;
        std::vector<std::complex<double>> after = x;
        dft.execute(after.data(), after.data());
        double scale = 0, kept_error = 0, outside = 0;
        for (int64_t k = 0; k < n; ++k) {
            scale = std::max(scale, std::abs(before[k]));
            kept_error = std::max(kept_error, std::abs(after[k] - std::complex<double>(kept[layout.binSlot(k)])));
            if (!keep[k]) outside = std::max(outside, std::abs(after[k] - before[k]));
        }
        EXPECT_LT(kept_error, 1e-5 * scale) << n;
        EXPECT_LT(outside, 1e-5 * scale) << n;
        EXPECT_LT(result.paprDb, paprBefore - 1) << n;
    }
}

// The occupied band and band powers of a spectrum against the plain scans:
// a total in frequency order, then a running sum from the lowest frequency
// up to each edge; a band's power as one sum over its bins.
TEST(SceneSpectrumScans, EdgesAndBandPowersAsThePlainScansGiveThemBitForBit) {
    for (int64_t n : {3000, 7919, 12288, 100000, 491520}) {  // unsplit, prime, split, many checkpoints
        const auto d = noiseLike(n);
        std::vector<std::complex<float>> x(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) x[i] = std::complex<float>(d[i]);
        SceneSpectrum s;
        SceneDft dft;
        const double rate = 1e6;
        ASSERT_EQ(s.take(x.data(), n, rate, dft), 0) << n;
        SplitDft<float> layout;
        std::vector<std::complex<float>> scratch(static_cast<size_t>(n));
        ASSERT_EQ(layout.plan(n, DftDirection::forward, scratch.data(), 1), 0);
        const int64_t half = n / 2;
        auto powerAt = [&](int64_t b) {  // signed bin b
            const SceneBin v = s.atSlot(layout.binSlot(b < 0 ? b + n : b));
            const double re = v.real(), im = v.imag();
            return re * re + im * im;
        };
        double total = 0;
        for (int64_t b = -half; b < n - half; ++b) total += powerAt(b);
        const double below = 0.005 * total, upTo = (1.0 - 0.005) * total;
        int64_t lower = -1, upper = n - 1;
        double running = 0;
        for (int64_t m = 0; m < n; ++m) {
            running += powerAt(m - half);
            if (lower < 0 && running > below) lower = m;
            if (running >= upTo) {
                upper = m;
                break;
            }
        }
        const double perBin = rate / static_cast<double>(n);
        const SceneBand band = s.occupied(99.0);
        EXPECT_EQ(band.lower, (static_cast<double>(lower - half) - 0.5) * perBin) << n;
        EXPECT_EQ(band.upper, (static_cast<double>(upper - half) + 0.5) * perBin) << n;

        // Bands of many widths, one twice, one narrower than a bin, more
        // than one thread sums side by side; then a bin changed through slots().
        const SceneBand bands[] = {{-2e5, 1e5},   {3e5, 4.5e5}, {-2e5, 1e5},   {-4.9e5, -4e5},
                                   {0.1, 0.2},    {-5e5, 5e5},  {1e5, 1.01e5}, {-3e5, -2.9e5},
                                   {2e5, 4.99e5}, {-1e3, 1e3},  {4e5, 4.2e5}};
        constexpr int kBands = sizeof bands / sizeof bands[0];
        auto plain = [&](const SceneBand& b) {
            double sum = 0;
            for (int64_t k = -half; k < n - half; ++k) {
                const double f = static_cast<double>(k) * perBin;
                if (f >= b.lower - 1e-9 * perBin && f <= b.upper + 1e-9 * perBin) sum += powerAt(k);
            }
            return sum / static_cast<double>(n) / static_cast<double>(n);
        };
        double got[kBands];
        s.bandPowers(bands, kBands, got);
        for (int i = 0; i < kBands; ++i) EXPECT_EQ(got[i], plain(bands[i])) << n << " band " << i;
        s.slots()[layout.binSlot(n - n / 10)] *= 3.0f;  // a bin of bands[0], at -0.1 rate
        EXPECT_EQ(s.bandPower(bands[0]), plain(bands[0])) << n;
        EXPECT_NE(s.bandPower(bands[0]), got[0]) << n;
    }
}

// A sum's spectrum built from its parts' spectra against the transform of
// the sum placed sample by sample.
TEST(SceneSpectrumFromParts, EqualsTheTransformOfThePlacedSum) {
    struct Case {
        int64_t cycles, delay;
        double gain, phase;
    };
    const Case parts[] = {{1234, 0, 1.0, 0.0}, {-777, 123, 0.5, 2.1}, {5, -40, 2.0, -0.4}, {100001, 99999, 0.3, 1.0}};
    for (int64_t n : {3000, 12288, 100000, 491520}) {
        SceneDft dft;
        SceneSpectrum own, sum, viaParts, viaGeneric;
        std::vector<std::complex<double>> placedSum(static_cast<size_t>(n));
        // Three records, the last placed twice in one call, as the parts of one record are.
        for (int record = 0; record < 3; ++record) {
            const auto d = noiseLike(n + record);
            std::vector<std::complex<float>> x(static_cast<size_t>(n));
            for (int64_t j = 0; j < n; ++j) x[j] = std::complex<float>(d[j + record]);
            ASSERT_EQ(own.take(x.data(), n, 1e6, dft), 0);
            if (record == 0) {
                ASSERT_EQ(viaParts.start(own), 0);
                ASSERT_EQ(viaGeneric.start(own), 0);
            }
            ASSERT_TRUE(SceneSpectrum::sumsFromParts(dft)) << n;
            std::vector<PlacedSpectrum> placed;
            for (int j = record; j < (record == 2 ? 4 : record + 1); ++j) {
                const Case& c = parts[j];
                placed.push_back({c.gain, c.cycles, c.phase, c.delay});
                PartCarrier carrier;
                carrier.cycles = c.cycles;
                carrier.phase = c.phase;
                const PlacedPart p{x.data(), n, c.delay, static_cast<float>(c.gain), carrier};
                addPlaced(&p, 1, n, placedSum.data());
            }
            // With work alongside, as the band's scan runs beside it.
            int alongside = 0;
            ASSERT_EQ(viaParts.add(own, placed.data(), static_cast<int>(placed.size()), [&] { ++alongside; }), 0);
            EXPECT_EQ(alongside, 1);
            // The generic kernel: the same bits.
            const KernelVariant saved = activeKernels();
            forceKernels(KernelVariant::generic);
            ASSERT_EQ(viaGeneric.add(own, placed.data(), static_cast<int>(placed.size())), 0);
            forceKernels(saved);
        }
        int64_t apart = 0;
        for (int64_t slot = 0; slot < n; ++slot) apart += viaParts.atSlot(slot) != viaGeneric.atSlot(slot);
        EXPECT_EQ(apart, 0) << n;
        ASSERT_EQ(sum.take(placedSum.data(), n, 1e6, dft), 0);
        double largest = 0, error = 0;
        for (int64_t slot = 0; slot < n; ++slot) {
            largest = std::max(largest, static_cast<double>(std::abs(sum.atSlot(slot))));
            error = std::max(error, static_cast<double>(std::abs(sum.atSlot(slot) - viaParts.atSlot(slot))));
        }
        EXPECT_LT(error, 1e-5 * largest) << n;
        EXPECT_GT(largest, 0) << n;
    }
}

// Bins whose turned parts nearly cancel (equal parts, a phase whose cosine
// and sine are one unit apart): a product and a sum fused into one
// rounding, which no kernel may do, shows in the float there.
TEST(SceneSpectrumFromParts, EachKernelRoundsEveryProductAsWritten) {
    const int64_t n = 12288;
    SceneDft dft;
    SceneSpectrum own;
    std::vector<std::complex<float>> x(static_cast<size_t>(n), {1, 0});
    ASSERT_EQ(own.take(x.data(), n, 1e6, dft), 0);
    SceneBin* bins = own.slots();
    uint64_t s = 99;
    for (int64_t k = 0; k < n; ++k) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        const float v = 0.5f + static_cast<float>(s >> 40) / 33554432.0f;
        bins[k] = {v, v};
    }
    const double phase = 0.7853981633974483;
    const PlacedSpectrum part{1.0, 0, phase, 0};
    // At no offset and no delay each bin takes its own, turned by (1, -0).
    const double wr = std::cos(phase), wi = std::sin(phase), tr = 1.0, ti = -0.0;
    for (KernelVariant variant : {KernelVariant::generic, KernelVariant::avx2}) {
        const KernelVariant saved = activeKernels();
        if (!forceKernels(variant)) continue;
        SceneSpectrum sum;
        ASSERT_EQ(sum.start(own), 0);
        ASSERT_EQ(sum.add(own, &part, 1), 0);
        forceKernels(saved);
        int64_t wrong = 0;
        for (int64_t slot = 0; slot < n; ++slot) {
            const double xr = own.atSlot(slot).real(), xi = own.atSlot(slot).imag();
            const double ar = xr * tr - xi * ti, ai = xr * ti + xi * tr;
            const SceneBin want(0.0f + static_cast<float>(ar * wr - ai * wi),
                                0.0f + static_cast<float>(ar * wi + ai * wr));
            const SceneBin got = sum.atSlot(slot);
            wrong += std::memcmp(&got, &want, sizeof got) != 0;
        }
        EXPECT_EQ(wrong, 0) << (variant == KernelVariant::avx2 ? "avx2" : "generic");
    }
}
