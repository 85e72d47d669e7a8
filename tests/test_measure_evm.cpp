// EVM against the record's own symbols: the floor every linear kind reaches
// with RRC and RCOS pulses, the cases that have none, that it follows
// added noise and ignores gain and phase, that OQPSK's offset is honoured,
// the two ways of matched filtering agree, and the constellation it sees.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "evm.h"
#include "recordReference.h"
#include "testSupport.h"
#include "wrapperGenSignalWave.h"

namespace {

using testing_support::Handle;
using testing_support::lastError;
using testing_support::sameBits;

DigitalModParams digital(int modType, int filterType, int sps = 8) {
    DigitalModParams p{};
    p.modType = static_cast<DigitalModulType>(modType);
    p.symbolRate = 1e6;
    p.freqDeviation = 250e3;
    p.pnOrder = 9;
    p.pnSeed = 10;
    p.filterType = static_cast<FilterType>(filterType);
    p.filterSpan = 6;
    p.samplesPerSymbol = sps;
    p.rolloff = 0.35;
    return p;
}

struct Waveform {
    std::vector<int16_t> iq;
    GenSignalMeasureInput input;
};

Waveform generateDigital(const DigitalModParams& p, int symbols, double rate) {
    const Handle h;
    int16_t* iq = nullptr;
    int count = 0;
    EXPECT_EQ(GenerateDigitalModWaveform(h.id, &p, symbols, &iq, &count, rate), 0) << lastError();
    Waveform w{std::vector<int16_t>(iq, iq + count), {}};
    w.input = {w.iq.data(), count, GENSIGNAL_FORMAT_CI16, GENSIGNAL_RECORD_DIGITAL, nullptr, symbols, 0, rate};
    return w;
}

GenSignalMeasurement measured(const GenSignalMeasureInput& in) {
    GenSignalMeasurement m{};
    EXPECT_EQ(GenSignalMeasure(&in, nullptr, &m), 0) << lastError();
    return m;
}

const char* const kKindNames[] = {"",      "BPSK",  "DBPSK", "QPSK",  "DQPSK",  "OQPSK",   "PI4_DQPSK", "PSK8",
                                  "DPSK8", "PSK16", "QAM16", "QAM64", "QAM256", "QAM1024", "ASK2",      "FSK2",
                                  "FSK4",  "FSK8",  "FSK16", "ASK4",  "ASK8",   "APSK16",  "QAM8"};
const char* const kFilterNames[] = {"", "RECT", "RCOS", "RRCOS", "GAUSSIAN", "HALF_SINE"};

bool linearKind(int k) { return k < FSK2 || k > FSK16; }

// Every linear kind with every pulse at 8 samples per symbol, no resampling:
// what is left is the pulse (RRC truncated to 6 symbols) and int16 rounding.
// The RRC and RCOS rows are the floor the measurement promises, below 0.5 %.
TEST(MeasureEvm, FloorOfEveryLinearKind) {
    std::printf("%-10s %-10s %9s %9s %8s\n", "kind", "pulse", "EVM %", "peak %", "MER dB");
    for (int filter : {RRCOS, RCOS, RECT, GAUSSIAN, HALF_SINE})
        for (int kind = 1; kind <= 22; ++kind) {
            if (!linearKind(kind)) continue;
            const DigitalModParams p = digital(kind, filter);
            Waveform w = generateDigital(p, 1000, 8e6);
            w.input.record = &p;
            const GenSignalMeasurement m = measured(w.input);
            std::printf("%-10s %-10s %9.4f %9.4f %8.2f\n", kKindNames[kind], kFilterNames[filter], m.evmPercent,
                        m.evmPeakPercent, m.merDb);
            EXPECT_EQ(m.evmStatus, GENSIGNAL_EVM_MEASURED) << kKindNames[kind];
            EXPECT_EQ(m.symbols, 1000);
            EXPECT_LT(m.evmPercent, 0.5) << kKindNames[kind] << " " << kFilterNames[filter];
            EXPECT_GE(m.evmPeakPercent, m.evmPercent);
        }
}

TEST(MeasureEvm, SpreadSpectrumAndOfdmFloors) {
    DSSParams d{};
    d.bitRate = 1000;
    d.modType = BPSK;
    d.pnOrder = 7;
    d.filterSpan = 6;
    d.samplesPerChip = 4;
    d.rolloff = 0.35;
    d.pnSeed = 1;
    for (int filter : {RRCOS, RCOS}) {
        d.filterType = filter;
        const Handle h;
        int16_t* iq = nullptr;
        int count = 0;
        ASSERT_EQ(GenerateDssWaveform(h.id, &d, 10, &iq, &count, 508000), 0) << lastError();
        const GenSignalMeasureInput in{iq, count, GENSIGNAL_FORMAT_CI16, GENSIGNAL_RECORD_DSS, &d, 10, 0, 508000};
        const GenSignalMeasurement m = measured(in);
        EXPECT_EQ(m.symbols, 1270);
        EXPECT_LT(m.evmPercent, 0.5) << kFilterNames[filter];
        // The record's band: the chip rate times 1 + roll-off.
        EXPECT_DOUBLE_EQ(m.channelBandwidthHz, 127000 * 1.35);
    }

    for (int mod : {BPSK, QPSK, PSK8, PSK16, QAM16, QAM64, QAM256})
        for (int window : {0, 1}) {
            OFDMParams o{};
            o.fftSize = 64;
            o.numSymbols = 20;
            o.guardLow = 6;
            o.guardHigh = 5;
            o.cpPercent = 25;
            o.windowing = static_cast<uint8_t>(window);
            o.modType = static_cast<DigitalModulType>(mod);
            o.nullDC = 1;
            const Handle h;
            int16_t* iq = nullptr;
            int count = 0;
            ASSERT_EQ(GenerateOFDMWaveform(h.id, &o, &iq, &count, 20e6), 0);
            const GenSignalMeasureInput in{iq, count, GENSIGNAL_FORMAT_CI16, GENSIGNAL_RECORD_OFDM, &o, 0, 0, 20e6};
            const GenSignalMeasurement m = measured(in);
            EXPECT_EQ(m.evmStatus, GENSIGNAL_EVM_MEASURED);
            EXPECT_EQ(m.symbols, 20 * 52);
            EXPECT_LT(m.evmPercent, 0.05) << kKindNames[mod] << " window " << window;
            // 52 used subcarriers and the empty centre: 53 spacings of 312.5 kHz.
            EXPECT_DOUBLE_EQ(m.channelBandwidthHz, 53 * 312500.0);
        }
}

// Records whose buffers have no EVM: the reason, and NaN for the numbers.
struct NoEvm {
    const char* name;
    int status;
};

TEST(MeasureEvm, NoneWhereItIsNotDefined) {
    const auto check = [](const GenSignalMeasureInput& in, int status, const char* name) {
        const GenSignalMeasurement m = measured(in);
        EXPECT_EQ(m.evmStatus, status) << name;
        EXPECT_TRUE(std::isnan(m.evmPercent) && std::isnan(m.evmPeakPercent) && std::isnan(m.merDb)) << name;
        EXPECT_EQ(m.symbols, 0) << name;
        EXPECT_FALSE(std::isnan(m.paprDb)) << name;  // the rest is measured
    };
    const DigitalModParams fsk = digital(FSK4, GAUSSIAN);
    Waveform w = generateDigital(fsk, 200, 8e6);
    w.input.record = &fsk;
    check(w.input, GENSIGNAL_EVM_UNDEFINED, "FSK4");

    const DigitalModParams qpsk = digital(QPSK, RRCOS);
    w = generateDigital(qpsk, 200, 10e6);
    w.input.record = &qpsk;
    // A resampled record is measured at its symbol instants, not of another length.
    EXPECT_EQ(measured(w.input).evmStatus, GENSIGNAL_EVM_MEASURED);
    w.input.valueCount -= 2;
    check(w.input, GENSIGNAL_EVM_MISMATCH, "resampled, one sample short");

    w = generateDigital(qpsk, 200, 8e6);
    w.input.record = &qpsk;
    w.input.valueCount -= 2;
    check(w.input, GENSIGNAL_EVM_MISMATCH, "one sample short");
    w.input.valueCount += 2;
    w.input.argument = 201;
    check(w.input, GENSIGNAL_EVM_MISMATCH, "another symbol count");

    const AMModParams am{1000, 50, 1};
    w.input.recordKind = GENSIGNAL_RECORD_AM;
    w.input.record = &am;
    check(w.input, GENSIGNAL_EVM_UNDEFINED, "AM");
    w.input.recordKind = GENSIGNAL_RECORD_NONE;
    check(w.input, GENSIGNAL_EVM_NO_RECORD, "no record");

    OFDMParams o{};
    o.fftSize = 64;
    o.numSymbols = 1;
    o.cpPercent = 25;
    o.modType = QPSK;
    const Handle h;
    int16_t* iq = nullptr;
    int count = 0;
    ASSERT_EQ(GenerateOFDMWaveform(h.id, &o, &iq, &count, 20e6), 0);
    check({iq, count, GENSIGNAL_FORMAT_CI16, GENSIGNAL_RECORD_OFDM, &o, 0, 0, 20e6}, GENSIGNAL_EVM_ONE_SYMBOL,
          "one OFDM symbol");
}

// The buffer as floats, transformed sample by sample.
template <class F>
std::vector<float> asFloats(const std::vector<int16_t>& iq, F f) {
    std::vector<float> out(iq.size());
    for (size_t i = 0; i < iq.size(); i += 2) {
        const std::complex<double> v = f(std::complex<double>(iq[i], iq[i + 1]) / 32767.0, i / 2);
        out[i] = static_cast<float>(v.real());
        out[i + 1] = static_cast<float>(v.imag());
    }
    return out;
}

TEST(MeasureEvm, IgnoresGainAndPhaseAndFollowsNoise) {
    const DigitalModParams p = digital(QAM16, RCOS);
    Waveform w = generateDigital(p, 2000, 8e6);
    w.input.record = &p;
    const double floor = measured(w.input).evmPercent;

    const std::complex<double> turn = std::polar(0.3, 2.0);
    const auto turned = asFloats(w.iq, [&](std::complex<double> v, size_t) { return v * turn; });
    GenSignalMeasureInput in = w.input;
    in.samples = turned.data();
    in.format = GENSIGNAL_FORMAT_CF32;
    EXPECT_NEAR(measured(in).evmPercent, floor, 0.01);

    // Noise at 30 dB below the symbol power at the symbol centres: about 3.2 %.
    std::mt19937 rng(3);
    std::normal_distribution<double> g(0, 1);
    double symbolPower = 0;
    for (size_t i = 0; i < w.iq.size(); i += 16)
        symbolPower += double(w.iq[i]) * w.iq[i] + double(w.iq[i + 1]) * w.iq[i + 1];
    symbolPower /= w.iq.size() / 16.0 * 32767.0 * 32767.0;
    const double sigma = std::sqrt(symbolPower * 1e-3 / 2);
    const auto noisy = asFloats(
        w.iq, [&](std::complex<double> v, size_t) { return v + std::complex<double>(sigma * g(rng), sigma * g(rng)); });
    in.samples = noisy.data();
    const GenSignalMeasurement m = measured(in);
    EXPECT_NEAR(m.evmPercent, 100 * std::sqrt(1e-3), 0.1 * 100 * std::sqrt(1e-3));
    EXPECT_NEAR(m.merDb, 30.0, 1.0);
}

TEST(MeasureEvm, OqpskTakesTheQuadratureHalfASymbolLater) {
    for (int filter : {RRCOS, RCOS}) {
        const DigitalModParams offset = digital(OQPSK, filter);
        Waveform w = generateDigital(offset, 500, 8e6);
        w.input.record = &offset;
        EXPECT_LT(measured(w.input).evmPercent, 0.5);
        // The same buffer taken as QPSK: its quadrature half a symbol off.
        const DigitalModParams plain = digital(QPSK, filter);
        w.input.record = &plain;
        EXPECT_GT(measured(w.input).evmPercent, 30.0);
    }
}

// The matched filter tap by tap and through the transform of the period,
// also for an odd tap product (one extra sample) and OQPSK.
TEST(MeasureEvm, MatchedFilterByTransformEqualsTapByTap) {
    struct Case {
        int kind, sps, span;
    };
    for (const Case c :
         {Case{QPSK, 8, 6}, Case{OQPSK, 8, 6}, Case{QAM64, 3, 5}, Case{OQPSK, 3, 3}, Case{BPSK, 2, 40}}) {
        DigitalModParams p = digital(c.kind, RRCOS, c.sps);
        p.filterSpan = c.span;
        const Waveform w = generateDigital(p, 300, 1e6 * c.sps);
        RecordReference ref;
        ASSERT_EQ(makeRecordReference(GENSIGNAL_RECORD_DIGITAL, &p, 300, 1e6 * c.sps, w.iq.size() / 2, ref), 0);
        ASSERT_EQ(ref.evmStatus, GENSIGNAL_EVM_MEASURED);
        EvmResult direct{}, transformed{};
        ASSERT_EQ(measureLinearEvm(Ci16Reader{w.iq.data()}, ref.linear, direct, EvmPoints{}, 1 << 30), 0);
        ASSERT_EQ(measureLinearEvm(Ci16Reader{w.iq.data()}, ref.linear, transformed, EvmPoints{}, 0), 0);
        EXPECT_NEAR(transformed.percent, direct.percent, 1e-9 * direct.percent) << c.kind << " sps " << c.sps;
        EXPECT_NEAR(transformed.merDb, direct.merDb, 1e-9) << c.kind;
        EXPECT_LT(direct.percent, 10.0);  // short or coarse pulses: a floor of a few per cent
    }
}

TEST(MeasureEvm, SameBitsAtAnyThreadCount) {
    const DigitalModParams p = digital(PI4_DQPSK, RRCOS);
    Waveform w = generateDigital(p, 3000, 8e6);
    w.input.record = &p;
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const GenSignalMeasurement one = measured(w.input);
    omp_set_num_threads(3);
    const GenSignalMeasurement three = measured(w.input);
    omp_set_num_threads(threads);
    EXPECT_EQ(std::memcmp(&one, &three, sizeof one), 0);
}

TEST(MeasureEvm, ConstellationIsWhatEvmCompares) {
    const DigitalModParams p = digital(QAM16, RRCOS);
    Waveform w = generateDigital(p, 400, 8e6);
    w.input.record = &p;
    const GenSignalMeasurement m = measured(w.input);

    int count = -1, status = -1;
    ASSERT_EQ(GenSignalMeasureConstellation(&w.input, nullptr, nullptr, 0, &count, &status), 0);
    EXPECT_EQ(count, 400);
    EXPECT_EQ(status, GENSIGNAL_EVM_MEASURED);
    std::vector<double> points(2 * 400 + 2, 7.0), references(2 * 400 + 2, 7.0);
    ASSERT_EQ(GenSignalMeasureConstellation(&w.input, points.data(), references.data(), 400, &count, nullptr), 0);
    double error = 0, signal = 0;
    for (int j = 0; j < 400; ++j) {
        const std::complex<double> y(points[2 * j], points[2 * j + 1]), s(references[2 * j], references[2 * j + 1]);
        error += std::norm(y - s);
        signal += std::norm(s);
        // QAM16 points: odd levels -3 ... 3.
        EXPECT_EQ(std::fabs(s.real()) == 1 || std::fabs(s.real()) == 3, true);
    }
    EXPECT_NEAR(100 * std::sqrt(error / signal), m.evmPercent, 1e-9);
    EXPECT_EQ(points[800], 7.0);  // nothing beyond the capacity

    std::vector<double> few(10, 7.0);
    ASSERT_EQ(GenSignalMeasureConstellation(&w.input, few.data(), nullptr, 4, &count, &status), 0);
    EXPECT_EQ(count, 400);
    EXPECT_EQ(few[7], points[7]);
    EXPECT_EQ(few[8], 7.0);

    const DigitalModParams fsk = digital(FSK2, GAUSSIAN);
    Waveform f = generateDigital(fsk, 100, 8e6);
    f.input.record = &fsk;
    ASSERT_EQ(GenSignalMeasureConstellation(&f.input, few.data(), nullptr, 4, &count, &status), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(status, GENSIGNAL_EVM_UNDEFINED);
    EXPECT_EQ(GenSignalMeasureConstellation(&f.input, nullptr, nullptr, 4, &count, &status), -1);
    EXPECT_EQ(GenSignalMeasureConstellation(&f.input, few.data(), nullptr, -1, &count, &status), -1);
}

}  // namespace
