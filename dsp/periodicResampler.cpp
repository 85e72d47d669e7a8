#include "periodicResampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "besselI0.h"
#include "blockPipeline.h"
#include "exactRational.h"
#include "mathConstants.h"
#include "periodicResampleKernels.h"

namespace {

// Zero crossings of the sinc on either side, in samples of the lower rate,
// and the Kaiser window's beta: 76 dB down beyond 1.1 of the cut-off, the
// passband within -76 dB of flat up to 0.9 of it. 64 taps would reach
// -99 dB, far below what 16 bits keep, at a third more work per output.
constexpr int kZeroCrossings = 24;
constexpr double kBeta = 7.5;
// Exact rows while their count times the stretch stays below this; else
// this over 4 interpolated ones.
constexpr int64_t kExactRows = 4096;
constexpr int64_t kInterpolatedRows = 1024;
// Beyond this many taps on either side (a rate divided by more than 4096)
// the table is not built.
constexpr int64_t kMaxHalfTaps = int64_t(kZeroCrossings) * 4096;

double sinc(double x) { return x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x); }

// One row: the coefficient of tap i for an output at fraction `phase` past
// the base sample, normalised to sum 1, stored in the kernels' order
// (periodicResampleKernels.h); `scratch` holds `taps` doubles.
void fillRow(double phase, int64_t halfTaps, int taps, int rowTaps, double scale, double halfWidth, double i0Beta,
             double* scratch, float* row) {
    double sum = 0;
    for (int i = 0; i < taps; ++i) {
        const double tau = phase + static_cast<double>(halfTaps - 1 - i);
        double h = 0;
        if (std::fabs(tau) < halfWidth) {
            const double x = tau / halfWidth;
            h = scale * sinc(scale * tau) * (besselI0(kBeta * std::sqrt(1 - x * x)) / i0Beta);
        }
        sum += h;
        scratch[i] = h;
    }
    for (int i = 0; i < rowTaps; ++i) {
        const int at = i - i % periodic::kTapGroup + periodic::storedAt(i % periodic::kTapGroup);
        row[at] = i < taps ? static_cast<float>(scratch[i] / sum) : 0.0f;
    }
}

}  // namespace

int PeriodicResampler::design(int64_t p, int64_t q) {
    if (p < 1 || q < 1)
        return refuse(-1, "resampling ratio %lld/%lld: both must be at least 1", static_cast<long long>(p),
                      static_cast<long long>(q));
    p_ = p;
    q_ = q;
    const double ratio = static_cast<double>(p) / static_cast<double>(q);
    const double stretch = std::max(1.0, ratio);  // the filter widens by this when the rate falls
    const double halfWidth = kZeroCrossings * stretch;
    if (!(halfWidth <= static_cast<double>(kMaxHalfTaps)))
        return refuse(-1, "resampling ratio %lld/%lld: the output rate is below 1/4096 of the input rate",
                      static_cast<long long>(p), static_cast<long long>(q));
    halfTaps_ = static_cast<int64_t>(std::ceil(halfWidth));
    const int taps = static_cast<int>(2 * halfTaps_);
    rowTaps_ = (taps + periodic::kTapGroup - 1) / periodic::kTapGroup * periodic::kTapGroup;
    const double scale = 1 / stretch;
    const int64_t ceilStretch = static_cast<int64_t>(std::ceil(stretch));
    interpolated_ = q > std::max<int64_t>(1, kExactRows / ceilStretch);
    intervals_ = interpolated_ ? std::max<int64_t>(16, kInterpolatedRows / ceilStretch) : 0;
    const int64_t rows = interpolated_ ? intervals_ + 1 : q;
    rowsPerPhase_ = interpolated_ ? static_cast<double>(intervals_) / static_cast<double>(q) : 0;

    const size_t floats = static_cast<size_t>(rows) * static_cast<size_t>(rowTaps_);
    rows_ = Buffer<float>(floats);
    if (!rows_) return outOfMemory<float>(-3, floats, "resampling filter");
    const size_t differences = interpolated_ ? floats - static_cast<size_t>(rowTaps_) : 0;
    difference_ = interpolated_ ? Buffer<float>(differences) : Buffer<float>();
    if (interpolated_ && !difference_) return outOfMemory<float>(-3, differences, "resampling filter steps");
    const int team = teamNowFor(rows * taps, 1 << 15);
    const size_t scratchSize = static_cast<size_t>(taps) * static_cast<size_t>(team);
    Buffer<double> scratch(scratchSize);
    if (!scratch) return outOfMemory<double>(-3, scratchSize, "resampling filter design");

    const double i0Beta = besselI0(kBeta);
    float* const table = rows_.get();
    const int rowTaps = rowTaps_;
    const int64_t halfTaps = halfTaps_;
    const double phases = interpolated_ ? static_cast<double>(intervals_) : static_cast<double>(q);
#pragma omp parallel num_threads(team) if (team > 1)
    {
        double* const mine = scratch.get() + static_cast<size_t>(taps) * omp_get_thread_num();
#pragma omp for schedule(static)
        for (int64_t r = 0; r < rows; ++r)
            fillRow(static_cast<double>(r) / phases, halfTaps, taps, rowTaps, scale, halfWidth, i0Beta, mine,
                    table + r * rowTaps);
    }
    if (interpolated_) {
        float* d = difference_.get();
        for (size_t i = 0; i < differences; ++i) d[i] = table[i + static_cast<size_t>(rowTaps_)] - table[i];
    }
    return 0;
}

int64_t PeriodicResampler::floorPosition(int64_t m) const {
    return static_cast<int64_t>(static_cast<u128>(m) * static_cast<u128>(p_) / static_cast<u128>(q_));
}

int64_t PeriodicResampler::windowStart(int64_t first) const { return floorPosition(first) - halfTaps_ + 1; }

int64_t PeriodicResampler::windowEnd(int64_t last) const { return floorPosition(last - 1) - halfTaps_ + 1 + rowTaps_; }

void PeriodicResampler::run(const std::complex<float>* window, int64_t windowFirst, int64_t first, int64_t last,
                            std::complex<float>* out) const {
    if (first >= last) return;
    const u128 product = static_cast<u128>(first) * static_cast<u128>(p_);
    periodic::KernelRun k;
    k.window = reinterpret_cast<const float*>(window);
    k.base = static_cast<int64_t>(product / static_cast<u128>(q_)) - halfTaps_ + 1 - windowFirst;
    k.phase = static_cast<int64_t>(product % static_cast<u128>(q_));
    k.stepWhole = p_ / q_;
    k.stepPhase = p_ % q_;
    k.q = q_;
    k.rowTaps = rowTaps_;
    k.rows = rows_.get();
    k.difference = interpolated_ ? difference_.get() : nullptr;
    k.rowsPerPhase = rowsPerPhase_;
    k.lastRow = intervals_ - 1;
    k.count = last - first;
    k.out = reinterpret_cast<float*>(out);
    periodic::resampleRun(k);
}

void copyPeriodic(const std::complex<float>* period, int64_t length, int64_t a, int64_t b, std::complex<float>* dst) {
    int64_t r = a % length;
    if (r < 0) r += length;
    while (a < b) {
        const int64_t n = std::min(b - a, length - r);
        std::copy(period + r, period + r + n, dst);
        dst += n;
        a += n;
        r = 0;
    }
}
