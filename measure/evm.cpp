#include "evm.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "filterDesign.h"
#include "fourierTransform.h"
#include "constellation.h"
#include "lastError.h"
#include "frequencyDomain.h"
#include "periodicInterpolation.h"

namespace {

using cd = std::complex<double>;

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

int64_t wrap(int64_t i, int64_t n) {
    const int64_t r = i % n;
    return r < 0 ? r + n : r;
}

cd at(const Ci16Reader& x, int64_t i) { return {x.re(i), x.im(i)}; }
cd at(const Cf32Reader& x, int64_t i) { return {x.re(i), x.im(i)}; }
cd at(const Cd64Reader& x, int64_t i) { return x.z[i]; }

// The alphabet's point nearest to v.
std::complex<float> nearestPoint(cd v, const std::complex<float>* table, int size) {
    int best = 0;
    double closest = std::numeric_limits<double>::infinity();
    for (int i = 0; i < size; ++i) {
        const double d = std::norm(v - cd(table[i]));
        if (d < closest) closest = d, best = i;
    }
    return table[best];
}

// One complex gain per group (value j is in group j % groups) minimising
// sum |g y - s|^2, then the error pooled over all values. `reference(j)` is s.
template <class Reference>
int score(const cd* y, int64_t count, int groups, Reference reference, const EvmPoints& points, EvmResult& out) {
    Buffer<cd> gain(static_cast<size_t>(groups), true);
    Buffer<double> energy(static_cast<size_t>(groups), true);
    if (!gain || !energy) return outOfMemory<cd>(-1, static_cast<size_t>(groups) * 3, "gains");
    for (int64_t j = 0; j < count; ++j) {
        const int g = static_cast<int>(j % groups);
        gain[g] += std::conj(y[j]) * reference(j);
        energy[g] += std::norm(y[j]);
    }
    for (int g = 0; g < groups; ++g) gain[g] = energy[g] > 0 ? gain[g] / energy[g] : cd(0, 0);
    double error = 0, signal = 0, peak = 0;
    for (int64_t j = 0; j < count; ++j) {
        const cd s = reference(j);
        const cd e = gain[j % groups] * y[j] - s;
        error += std::norm(e);
        signal += std::norm(s);
        peak = std::max(peak, std::norm(e));
        if (j < points.capacity) {
            const cd r = gain[j % groups] * y[j];
            if (points.received) {
                points.received[2 * j] = r.real();
                points.received[2 * j + 1] = r.imag();
            }
            if (points.references) {
                points.references[2 * j] = s.real();
                points.references[2 * j + 1] = s.imag();
            }
        }
    }
    out.symbols = count;
    out.percent = out.peakPercent = out.merDb = kNone;
    if (!(signal > 0)) return 0;
    out.percent = 100.0 * std::sqrt(error / signal);
    out.peakPercent = 100.0 * std::sqrt(peak) / std::sqrt(signal / static_cast<double>(count));
    if (error > 0) out.merDb = 10.0 * std::log10(signal / error);
    return 0;
}

// The matched filter of the whole period through its transform: z[t] =
// sum_m taps[m] x[(t - d + m) mod P], as Z = X conj(K).
template <class Reader>
int matchedByTransform(const Reader& x, const LinearReference& ref, int64_t period, Buffer<cd>& z) {
    const size_t n = static_cast<size_t>(period);
    z = Buffer<cd>(n);
    Buffer<cd> kernel(n, true);
    if (!z || !kernel) return outOfMemory<cd>(-1, 2 * n, "matched filter");
    if (probeTransformMemory(period, sizeof(cd), "matched filter")) return -1;
    Dft<double> forward, backward;
    if (!forward.plan(static_cast<int>(period), z.get(), z.get(), DftDirection::forward) ||
        !backward.plan(static_cast<int>(period), z.get(), z.get(), DftDirection::backward))
        return refuse(-1, "no transform of %lld points could be planned", static_cast<long long>(period));
    const int d = (ref.tapCount - 1) / 2;
    for (int m = 0; m < ref.tapCount; ++m) kernel[wrap(m - d, period)] += ref.taps[m];
    for (int64_t t = 0; t < period; ++t) z[t] = at(x, t);
    forward.execute(z.get(), z.get());
    forward.execute(kernel.get(), kernel.get());
    for (int64_t f = 0; f < period; ++f) z[f] *= std::conj(kernel[f]);
    backward.execute(z.get(), z.get());
    const double scale = 1.0 / static_cast<double>(period);
    for (int64_t t = 0; t < period; ++t) z[t] *= scale;
    return 0;
}

}  // namespace

template <class Reader>
int measureLinearEvm(const Reader& x, const LinearReference& ref, EvmResult& out, const EvmPoints& points,
                     int directTaps) {
    const int64_t N = ref.symbols, sps = ref.sps, period = N * sps, length = ref.length;
    const int M = ref.tapCount, d = (M - 1) / 2, h = ref.quadratureDelay;
    const float* taps = ref.taps.get();
    Buffer<cd> y(static_cast<size_t>(N));
    if (!y) return outOfMemory<cd>(-1, static_cast<size_t>(N), "received symbols");

    // Symbol j's centre in the buffer: the transmit filter delays it by d.
    const auto centre = [&](int64_t j) { return wrap(j * sps - d, period); };
    if (ref.filter == RRCOS) {
        // The matched filter, the transmit taps again: centred d later still.
        const auto direct = [&](int64_t t) {
            cd z = 0;
            for (int64_t m = 0, i = wrap(t - d, period); m < M; ++m) {
                z += static_cast<double>(taps[m]) * at(x, i);
                if (++i == period) i = 0;
            }
            return z;
        };
        Buffer<cd> z;
        if (M > directTaps && matchedByTransform(x, ref, period, z)) return -1;
        for (int64_t j = 0; j < N; ++j) {
            const int64_t c = centre(j);
            const cd i = z ? z[c] : direct(c);
            const cd q = h == 0 ? i : z ? z[wrap(c + h, period)] : direct(wrap(c + h, period));
            y[j] = {i.real(), q.imag()};
        }
    } else {
        // No receive filter: the samples at the symbol centres, the
        // quadrature part of OQPSK h samples later (cyclically in the buffer).
        for (int64_t j = 0; j < N; ++j) {
            const int64_t c = centre(j);
            y[j] = {x.re(c), x.im(wrap(c + h, length))};
        }
    }

    const std::complex<float>* s = ref.points.get();
    if (ref.filter == RRCOS || ref.filter == RCOS || ref.filter == RECT)
        return score(
            y.get(), N, 1, [&](int64_t j) { return cd(s[j]); }, points, out);
    // Gaussian and half-sine pulses are not Nyquist: the reference is the
    // pulse's own value at the instant, every symbol it reaches summed in.
    const int64_t first = -(d / sps), last = (M - 1 - d) / sps;
    return score(
        y.get(), N, 1,
        [&](int64_t j) {
            cd v = 0;
            for (int64_t q = first; q <= last; ++q) v += static_cast<double>(taps[d + q * sps]) * cd(s[wrap(j + q, N)]);
            return v;
        },
        points, out);
}

template <class Reader>
int measureOfdmEvm(const Reader& x, const OfdmReference& ref, EvmResult& out, const EvmPoints& points) {
    const int n = ref.fftSize, used = ref.used;
    const int64_t slot = static_cast<int64_t>(n) + ref.prefix;
    const int64_t count = static_cast<int64_t>(used) * ref.symbols;
    Buffer<cd> y(static_cast<size_t>(count));
    Buffer<cd> body(static_cast<size_t>(n));
    if (!y || !body) return outOfMemory<cd>(-1, static_cast<size_t>(count + n), "received subcarriers");
    if (probeTransformMemory(n, sizeof(cd), "OFDM symbol")) return -1;
    Dft<double> dft;
    if (!dft.plan(n, body.get(), body.get(), DftDirection::forward))
        return refuse(-1, "no transform of %d points could be planned", n);
    // The N body samples of each slot; with the 1/N of the inverse transform
    // the forward one gives the subcarrier values back.
    for (int s = 0; s < ref.symbols; ++s) {
        const int64_t start = s * slot + ref.bodyOffset;
        for (int i = 0; i < n; ++i) body[i] = at(x, start + i);
        dft.execute(body.get(), body.get());
        for (int c = 0; c < used; ++c) y[static_cast<int64_t>(s) * used + c] = body[ref.bins[c]];
    }
    const short* values = ref.values.get();
    return score(
        y.get(), count, used, [&](int64_t j) { return cd(ref.table[values[j]]); }, points, out);
}

namespace {

// The alphabet of a linear kind a description may name, and the order of its
// rotational symmetry (for the first phase estimate); 0 for the others.
int alphabet(int modType, int& symmetry) {
    static const struct {
        int type, size, symmetry;
    } kinds[] = {{BPSK, 2, 2},   {QPSK, 4, 4},     {PSK8, 8, 8},       {PSK16, 16, 16}, {QAM16, 16, 4},
                 {QAM64, 64, 4}, {QAM256, 256, 4}, {QAM1024, 1024, 4}, {ASK2, 2, 2},    {ASK4, 4, 2},
                 {ASK8, 8, 2},   {APSK16, 16, 4},  {QAM8, 8, 4}};
    for (const auto& k : kinds)
        if (k.type == modType) {
            symmetry = k.symmetry;
            return k.size;
        }
    return 0;
}

// The symbol phase (of `sps`) whose instants carry the most power.
int strongestPhase(const cd* z, int64_t symbols, int sps) {
    int best = 0;
    double most = -1;
    for (int phase = 0; phase < sps; ++phase) {
        double power = 0;
        for (int64_t j = 0; j < symbols; ++j) power += std::norm(z[j * sps + phase]);
        if (power > most) most = power, best = phase;
    }
    return best;
}

// The complex gain that takes y onto the alphabet: the Q-th power's phase and
// the power ratio first, then least squares on the decisions, three times.
cd decisionGain(const cd* y, int64_t count, const std::complex<float>* table, int size, int symmetry) {
    double py = 0, pt = 0;
    cd sy = 0, st = 0;
    for (int64_t j = 0; j < count; ++j) py += std::norm(y[j]), sy += std::pow(y[j], symmetry);
    for (int i = 0; i < size; ++i) pt += std::norm(cd(table[i])), st += std::pow(cd(table[i]), symmetry);
    if (!(py > 0)) return 0;
    const double turn = std::abs(st) > 1e-9 * std::pow(pt / size, symmetry / 2.0) ? std::arg(sy / st) / symmetry : 0;
    cd g = std::polar(std::sqrt(pt / size / (py / static_cast<double>(count))), -turn);
    for (int round = 0; round < 3; ++round) {
        cd num = 0;
        double den = 0;
        for (int64_t j = 0; j < count; ++j) {
            num += std::conj(y[j]) * cd(nearestPoint(g * y[j], table, size));
            den += std::norm(y[j]);
        }
        g = num / den;
    }
    return g;
}

}  // namespace

int describedAlphabet(int modType, int& symmetry) { return alphabet(modType, symmetry); }

template <class Reader>
int measureDescribedEvm(const Reader& x, int64_t n, double rate, const DescribedModulation& d, EvmResult& out,
                        const EvmPoints& points) {
    int symmetry = 0;
    const int size = alphabet(d.modType, symmetry);
    constexpr int sps = 8;
    const int64_t m = std::llround(static_cast<double>(n) * sps * d.symbolRate / rate), symbols = m / sps;
    Buffer<cd> y;
    if (resamplePeriodic(x, n, m, y)) return -1;
    Buffer<cd> z;
    if (d.filterType == RRCOS) {
        PulseShape shape{};
        LinearReference matched;
        if (checkPulseShape("GenSignalModulationDescription", RRCOS, 6, d.rolloff, &shape)) return -1;
        matched.tapCount = static_cast<int>(designedTapCount(shape.type, shape.span, sps));
        if (designTaps(shape, sps, matched.tapCount, matched.taps)) return -1;
        if (matchedByTransform(Cd64Reader{y.get()}, matched, m, z)) return -1;
    } else {
        z = std::move(y);
    }
    const int phase = strongestPhase(z.get(), symbols, sps);
    Buffer<cd> received(static_cast<size_t>(symbols));
    Buffer<std::complex<float>> table(static_cast<size_t>(size));
    if (!received || !table) return outOfMemory<cd>(-1, static_cast<size_t>(symbols), "symbols");
    for (int64_t j = 0; j < symbols; ++j) received[j] = z[j * sps + phase];
    alphabetPoints(static_cast<DigitalModulType>(d.modType), size, table.get());
    const cd g = decisionGain(received.get(), symbols, table.get(), size, symmetry);
    for (int64_t j = 0; j < symbols; ++j) received[j] *= g;
    return score(
        received.get(), symbols, 1, [&](int64_t j) { return cd(nearestPoint(received[j], table.get(), size)); }, points,
        out);
}

template int measureDescribedEvm(const Ci16Reader&, int64_t, double, const DescribedModulation&, EvmResult&,
                                 const EvmPoints&);
template int measureDescribedEvm(const Cf32Reader&, int64_t, double, const DescribedModulation&, EvmResult&,
                                 const EvmPoints&);

template <class Reader>
int measureRecordEvm(const Reader& x, const RecordReference& ref, EvmResult& out, const EvmPoints& points) {
    if (ref.ofdm) return measureOfdmEvm(x, ref.frame, out, points);
    const LinearReference& r = ref.linear;
    if (r.bufferSamples == r.length) return measureLinearEvm(x, r, out, points);
    Buffer<cd> locked;
    if (resamplePeriodic(x, r.bufferSamples, r.length, locked)) return -1;
    return measureLinearEvm(Cd64Reader{locked.get()}, r, out, points);
}

template int measureRecordEvm(const Ci16Reader&, const RecordReference&, EvmResult&, const EvmPoints&);
template int measureRecordEvm(const Cf32Reader&, const RecordReference&, EvmResult&, const EvmPoints&);
template int measureLinearEvm(const Cd64Reader&, const LinearReference&, EvmResult&, const EvmPoints&, int);
template int measureLinearEvm(const Ci16Reader&, const LinearReference&, EvmResult&, const EvmPoints&, int);
template int measureLinearEvm(const Cf32Reader&, const LinearReference&, EvmResult&, const EvmPoints&, int);
template int measureOfdmEvm(const Ci16Reader&, const OfdmReference&, EvmResult&, const EvmPoints&);
template int measureOfdmEvm(const Cf32Reader&, const OfdmReference&, EvmResult&, const EvmPoints&);
