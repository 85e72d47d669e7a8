// The generators as first written, one array per step and one sample after
// the other: the twins the faster generators are compared with bit for bit.
// Each takes counts the generator's plan has already checked.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "constellation.h"
#include "farrow.h"
#include "gaussianNoise.h"
#include "genSignalClass.h"
#include "mathConstants.h"
#include "pnSequence.h"

namespace literal {

using C = std::complex<float>;
constexpr double kTwoPi = 6.283185307179586;

// The modulating wave at t_i = i * (1 / rate), shapes 1 to 4.
inline std::vector<double> modulatingWave(int shape, double fm, double rate, int n) {
    std::vector<double> x(static_cast<size_t>(n));
    const double dt = 1 / rate, T = 1 / fm, half = T * 0.5;
    int s = 1;
    double level = 1.0;
    for (int i = 0; i < n; ++i) {
        const double t = i * dt;
        switch (shape) {
            case 1: x[i] = std::sin(i * dt * (kTwoPi * fm)); break;
            case 2:
                if (!(s * half > i * dt)) {
                    ++s;
                    level = (s % 2 == 1) ? 1.0 : 0.0;
                }
                x[i] = level;
                break;
            case 3: {
                if (!(s * half > t)) ++s;
                const double u = t - (s - 1) * half;
                x[i] = (s % 2 == 1) ? (2 / T) * u : 1 - (2 / T) * u;
                break;
            }
            default:
                if (!(s * T > t)) ++s;
                x[i] = (t - (s - 1) * T) * (1 / T);
        }
    }
    return x;
}

inline std::vector<double> am(const AMModParams& p, double rate, int n) {
    std::vector<double> x = modulatingWave(p.modShape, p.modFrequency, rate, n);
    const double m = p.modDepth / 100;
    const double d = p.modShape == 1 ? 1 / m : 0.5 / m - 0.5;
    for (double& v : x) v += d;
    return x;
}

inline std::vector<C> fm(const FMModParams& p, double rate, int n) {
    std::vector<double> w = modulatingWave(p.modShape, p.modFrequency, rate, n);
    for (double& v : w) {
        if (p.modShape == 2) v = v + v - 1;
        if (p.modShape == 3) v = (v - 0.5) + (v - 0.5);
        if (p.modShape == 4) v = v * 2 - 1;
    }
    const double c = (kTwoPi / rate) * p.freqDeviation;
    std::vector<C> out(static_cast<size_t>(n));
    double phi = 0;
    for (int i = 0; i < n; ++i) {
        phi = std::fma(w[i], c, phi);
        out[i] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }
    return out;
}

// The whole step list, as the sweep was first defined.
inline std::vector<C> stepSweep(const StepSweepParams& p, double rate) {
    const int S = p.stepCount;
    const double delta = std::floor((p.stopFrequency - p.startFrequency) / (S - 1));
    std::vector<double> f(static_cast<size_t>(S));
    for (int k = 0; k < S; ++k) f[k] = (k - (S - 1) / 2.0) * delta;
    const int n = static_cast<int>(std::floor(p.dwellTime * rate * S));
    const double dt = 1 / rate;
    std::vector<C> out(static_cast<size_t>(n));
    double phi = 0;
    int s = 1;
    for (int i = 0; i < n; ++i) {
        if (s < S && s * p.dwellTime <= i * dt) ++s;
        phi = std::fma(f[s - 1] * kTwoPi, dt, phi);
        out[i] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }
    return out;
}

// The time list, the ramp, then the zeroed array with the ramp copied in.
inline std::vector<C> rampSweep(const RampSweepParams& p, double rate) {
    const int R = static_cast<int>(std::floor(p.sweepTime * rate));
    const int N = static_cast<int>(std::floor(std::max(p.sweepTime, p.duration) * rate));
    std::vector<double> t(static_cast<size_t>(R) + 1);
    for (int k = 0; k <= R; ++k) t[k] = k / rate + (-(p.sweepTime * 0.5));
    std::vector<C> ramp(static_cast<size_t>(R));
    const double kappa = p.sweepBandwidth / p.sweepTime, w = kTwoPi / rate;
    double phi = 0;
    for (int k = 0; k < R; ++k) {
        phi = std::fma(w, kappa * t[k], phi);
        ramp[k] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
    }
    std::vector<C> out(static_cast<size_t>(N), C(0, 0));
    std::copy(ramp.begin(), ramp.end(), out.begin());
    return out;
}

// One period of the tones at the internal rate r' (L samples), every tone
// with its own cosine and sine, then resampled when r' is off the rate.
inline std::vector<C> multitone(const MultitoneParams& p, double rate) {
    const int N = p.toneCount;
    const double df = p.toneSpacing;
    std::vector<double> f(static_cast<size_t>(N));
    double fb;
    if (N % 2 == 0) {
        const int h = N / 2;
        for (int k = 0; k < h; ++k) f[k] = std::fma(static_cast<double>(k), df, df * 0.5);
        for (int k = 0; k < h; ++k) f[h + k] = -f[k];
        fb = f[0];
    } else {
        const int h = (N - 1) / 2;
        for (int k = 0; k <= h; ++k) f[k] = k * df;
        for (int k = 1; k <= h; ++k) f[h + k] = -f[k];
        fb = f[1];
    }
    const double fmax = -f[N - 1];
    const int K = static_cast<int>(std::floor(rate / fmax));
    const double rInt = K * fmax;
    const int L = static_cast<int>(std::floor((1 / fb) * rInt));
    std::vector<C> x(static_cast<size_t>(L));
    for (int i = 0; i < L; ++i) {
        const double t = i * (1 / rInt);
        double re = 0, im = 0;
        for (int k = 0; k < N; ++k) {
            const double arg = (f[k] * kTwoPi) * t;
            re += std::cos(arg);
            im += std::sin(arg);
        }
        x[i] = {static_cast<float>(re), static_cast<float>(im)};
    }
    if (std::fabs(rate - rInt) <= 1e-12) return x;
    std::vector<C> y(static_cast<size_t>(farrowOutputLength(L, rate, rInt)) + 8);
    int n = 0;
    GenSignalClass obj;
    obj.FarrowInterp(x.data(), L, rate, rInt, y.data(), &n);
    y.resize(static_cast<size_t>(n));
    return y;
}

// N + 127 raw samples from randn in pairs, the 128 taps, the convolution.
inline std::vector<C> awgn(const AWGNParams& p, double rate) {
    const int n = static_cast<int>(std::floor(p.duration * rate));
    std::vector<C> raw(static_cast<size_t>(n) + 127);
    for (C& s : raw) {
        const float re = static_cast<float>(randn());
        const float im = static_cast<float>(randn());
        s = {re, im};
    }
    const double c = std::min(p.bandwidth / rate, 0.5), pi = 3.141592653589793;
    std::vector<float> h(128);
    for (int k = 0; k < 128; ++k) {
        const double w = 0.54 - 0.46 * std::cos(kTwoPi * k / 127);
        const double t = k - 64;
        const double s = std::fabs(t) < 1e-12 ? c : std::sin(c * t * pi) / (t * pi);
        h[k] = static_cast<float>(static_cast<double>(static_cast<float>(s)) * w);
    }
    std::vector<C> out(static_cast<size_t>(n));
    int count = 0;
    GenSignalClass obj;
    if (n > 0) obj.conv2_complex(raw.data(), static_cast<int>(raw.size()), h.data(), 128, out.data(), &count);
    return out;
}

// The cross-fade over a frame of symbols of n + p samples, with a second
// array, as first defined.
inline std::vector<C> crossFade(const std::vector<C>& x, int symbols, int n, int p) {
    std::vector<float> w(2 * static_cast<size_t>(p));
    for (int i = 0; i < 2 * p; ++i)
        w[i] = (1.0f - std::cos(static_cast<float>(i) * 6.2831855f / static_cast<float>(2 * p - 1))) * 0.5f;
    const size_t len = static_cast<size_t>(n) + p;
    std::vector<C> y(x.size());
    for (int s = 0; s < symbols; ++s) {
        const C* body = x.data() + s * len + p;
        const C* next = x.data() + ((s + 1) % symbols) * len;
        C* slot = y.data() + s * len;
        for (int j = 0; j < n; ++j) slot[j] = body[j];
        for (int j = 0; j < p; ++j)
            slot[n + j] = {std::fma(w[p + j], body[j].real(), w[j] * next[j].real()),
                           std::fma(w[p + j], body[j].imag(), w[j] * next[j].imag())};
    }
    return y;
}

// PN bits, symbols, points (table over its RMS, or the PSK mapper), the
// symbol modulator over my_ifft, and the cross-fade.
inline std::vector<C> ofdm(const OFDMParams& p) {
    const int n = p.fftSize;
    const int used = n - (p.guardLow + p.guardHigh) - (p.nullDC ? 1 : 0);
    if (used <= 0) return {};
    std::vector<int> pos;
    for (int c = 0, q = p.guardLow; c < used; ++c) {
        if (p.nullDC && q == n / 2) ++q;
        pos.push_back(q++);
    }
    int k = 0;
    const C* table = nullptr;
    double norm = 1;
    switch (p.modType) {
        case BPSK: k = 1; break;
        case QPSK: k = 2; break;
        case PSK8: k = 3; break;
        case PSK16: k = 4; break;
        case QAM16: k = 4, table = qam16, norm = 3.1622776601683795; break;
        case QAM64: k = 6, table = qam64, norm = 6.48074069840786; break;
        case QAM256: k = 8, table = qam256, norm = 13.038404810405298; break;
        default: return {};
    }
    const int points = used * p.numSymbols;
    GenSignalClass obj;
    std::vector<signed char> bits(static_cast<size_t>(points) * k);
    obj.func_PN_gen(9, kPnDataStart, bits.data(), static_cast<int>(bits.size()));
    std::vector<short> sym(static_cast<size_t>(points));
    for (int i = 0; i < points; ++i) sym[i] = obj.bi2deForC(bits.data() + static_cast<size_t>(i) * k, k);
    std::vector<C> pts(static_cast<size_t>(points));
    if (table) {
        for (int i = 0; i < points; ++i)
            pts[i] = {static_cast<float>(static_cast<double>(table[sym[i]].real()) / norm),
                      static_cast<float>(static_cast<double>(table[sym[i]].imag()) / norm)};
    } else {
        obj.DigitalModAPQAM(sym.data(), points, p.modType, 1, 1, pts.data());
    }
    const int prefix = p.cpPercent > 0 ? static_cast<int>(n * (p.cpPercent / 100.0)) : 0;
    std::vector<C> out(static_cast<size_t>(p.numSymbols) * (n + prefix));
    int count = 0;
    obj.ofdmmodForC(pts.data(), p.numSymbols, n, prefix, pos.data(), used, out.data(), &count);
    if (prefix > 0 && p.windowing) return crossFade(out, p.numSymbols, n, prefix);
    return out;
}

}  // namespace literal
