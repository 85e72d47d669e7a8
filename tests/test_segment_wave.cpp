// The run-by-run fill of the segment waves against the sample-by-sample
// counter it replaces, bit for bit, including segments shorter than a
// sample (where the counter lags and advances once per sample).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "modulatingWave.h"
#include "testSupport.h"

namespace {

using testing_support::sameBits;

template <int Shape>
void expectFillEqualsNext(double modFrequency, double sampleRate, int n) {
    SegmentWave literal(modFrequency, sampleRate), runs(modFrequency, sampleRate);
    std::vector<double> expected(n), got(n);
    for (int i = 0; i < n; ++i) expected[i] = literal.next<Shape>() + 0.25;
    runs.fill<Shape>(got.data(), n, 0.25);
    ASSERT_TRUE(sameBits(got, expected)) << "shape " << Shape << ", " << modFrequency << " Hz at " << sampleRate;
}

TEST(SegmentWave, FillRunByRunEqualsTheCounterOfEverySample) {
    std::mt19937_64 rng(7);
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    // Samples per period from well below one (the counter lags) to long
    // periods, and whole-sample periods where boundaries fall on samples.
    std::vector<std::pair<double, double>> cases = {{1000, 48000}, {400, 1000}, {3, 1000},
                                                    {1000, 1e9},   {900, 1000}, {2500, 1000}};
    for (int c = 0; c < 60; ++c) cases.push_back({uniform(1, 1e4), uniform(1e3, 2e5)});
    for (int c = 0; c < 20; ++c) cases.push_back({uniform(1e3, 5e3), 1e3});
    for (const auto& [fm, rate] : cases) {
        expectFillEqualsNext<2>(fm, rate, 4000);
        expectFillEqualsNext<3>(fm, rate, 4000);
        expectFillEqualsNext<4>(fm, rate, 4000);
    }
}

}  // namespace
