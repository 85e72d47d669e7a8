// The seam measure reads the boundaries clear of the buffer's ends without
// the cyclic index, writes its complex products out and sums four windows
// side by side: the same bits as its literal twin, on buffers of every
// length class (shorter than the predictor's reach, one window, either side
// of the largest order, a last ring turn whole or part full, long) and
// of either format, seamless, glitched and noisy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "literalSeamPrediction.h"
#include "sampleView.h"
#include "seamPrediction.h"

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A tone of `cycles` over n samples, a glitch of `jump` at `at`, noise of `sigma`.
std::vector<double> signal(int64_t n, double cycles, int64_t at, double jump, double sigma, unsigned seed) {
    std::mt19937 draw(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> iq(static_cast<size_t>(2 * n));
    for (int64_t i = 0; i < n; ++i) {
        const double phase = 6.283185307179586 * cycles * static_cast<double>(i) / static_cast<double>(n);
        const double step = i >= at ? jump : 0.0;
        iq[2 * i] = 0.5 * std::cos(phase) + step + sigma * noise(draw);
        iq[2 * i + 1] = 0.5 * std::sin(phase) + sigma * noise(draw);
    }
    return iq;
}

TEST(SeamPrediction, TheSameBitsAsTheLiteralTwin) {
    int compared = 0;
    for (int64_t n : {32, 33, 40, 47, 63, 64, 100, 129, 191, 192, 200, 257, 1000, 4096, 4127, 5003}) {
        for (unsigned seed = 0; seed < 6; ++seed) {
            const double cycles = seed % 2 ? 3.0 : 2.37;  // whole cycles loop, the others jump at the seam
            const std::vector<double> v =
                signal(n, cycles, n / 3, seed % 3 == 0 ? 0.2 : 0.0, seed < 3 ? 1e-3 : 0.05, seed + 17u * n);
            std::vector<int16_t> counts(v.size());
            std::vector<float> floats(v.size());
            for (size_t i = 0; i < v.size(); ++i) {
                counts[i] = static_cast<int16_t>(std::lround(std::fmax(-1.0, std::fmin(1.0, v[i])) * 32766));
                floats[i] = static_cast<float>(v[i]);
            }
            const Ci16Reader ci16{counts.data()};
            const Cf32Reader cf32{floats.data()};
            const double a = seamPredictionRatio(ci16, n), b = literal::seamPredictionRatio(ci16, n);
            const double c = seamPredictionRatio(cf32, n), d = literal::seamPredictionRatio(cf32, n);
            EXPECT_TRUE(sameBits(a, b)) << "ci16 n " << n << " seed " << seed << ": " << a << " vs " << b;
            EXPECT_TRUE(sameBits(c, d)) << "cf32 n " << n << " seed " << seed << ": " << c << " vs " << d;
            compared += 2;
        }
    }
    EXPECT_EQ(compared, 16 * 6 * 2);
}

}  // namespace
