// The scene's building blocks against plain reference code: the PAPR's
// ranking without a copy of the powers, and the fused placement against
// placing and rotating in two passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <vector>

#include "burstGate.h"
#include "crestFactor.h"
#include "partPlacement.h"

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

TEST(ScenePapr, RankedWithoutACopyAsBySortingAll) {
    struct Case {
        int64_t n;
        double p;
    };
    // One block and many; a rank inside the first block's tops and one beyond
    // a block; the peak; a probability large enough to copy all.
    const Case cases[] = {{1000, 1e-2}, {300000, 1e-4},        {300000, 1e-3}, {300000, 0.3},
                          {300001, 0},  {65536 * 3 + 7, 1e-5}, {200000, 0.1}};
    for (const Case& c : cases) {
        const auto x = noiseLike(c.n);
        const double got = paprAtDb(x.data(), c.n, c.p);
        EXPECT_EQ(got, referencePaprDb(x, c.p)) << c.n << " at " << c.p;
    }
}

TEST(ScenePlacement, FusedPassEqualsPlacingThenRotatingBitForBit) {
    struct Case {
        int64_t partLength, length, delay;
        bool whole;
    };
    const Case cases[] = {{1000, 1000, 0, true},
                          {1000, 9000, 17, true},
                          {4096, 10000, 9999, false},
                          {333, 20000, 5000, true},
                          {20000, 12000, 3, false}};
    for (const Case& c : cases) {
        const auto d = noiseLike(c.partLength);
        std::vector<std::complex<float>> part;
        for (const auto& v : d) part.emplace_back(static_cast<float>(v.real()), static_cast<float>(v.imag()));
        PartCarrier carrier;
        carrier.whole = c.whole;
        carrier.cycles = 123;
        carrier.cyclesPerSample = 0.01234;
        carrier.phase = 0.7;
        std::vector<std::complex<float>> work(static_cast<size_t>(c.length));
        std::vector<std::complex<double>> twoPass(static_cast<size_t>(c.length), {0.5, -0.25}), fused = twoPass;
        placePart(part.data(), c.partLength, c.length, c.delay, 0.8f, BurstPattern{}, work.data());
        addRotated(work.data(), c.length, carrier, twoPass.data());
        // Twice: two parts in one pass as in two.
        const PlacedPart placed[] = {{part.data(), c.partLength, c.delay, 0.8f, carrier},
                                     {part.data(), c.partLength, c.delay, 0.8f, carrier}};
        addRotated(work.data(), c.length, carrier, twoPass.data());
        addPlaced(placed, 2, c.length, fused.data());
        EXPECT_TRUE(twoPass == fused) << c.partLength << " into " << c.length;
        // The placement itself: the delayed, repeated part.
        int64_t wrong = 0;
        for (int64_t n = 0; n < c.length; ++n) {
            const int64_t m = ((n - c.delay) % c.length + c.length) % c.length % c.partLength;
            wrong += work[static_cast<size_t>(n)] != part[static_cast<size_t>(m)] * 0.8f;
        }
        EXPECT_EQ(wrong, 0) << c.partLength << " into " << c.length;
    }
}
