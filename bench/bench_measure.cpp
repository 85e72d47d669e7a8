// Measurements over 10^6 samples, one thread: everything but EVM (no
// record), everything with EVM (the record given), and the parts alone:
// levels with the CCDF, the spectrum, EVM after the matched filter, OFDM EVM.
// bench/measure_numpy.py times the numpy/scipy equivalent on the same buffer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "evm.h"
#include "levels.h"
#include "literalSeamPrediction.h"
#include "recordReference.h"
#include "frequencyDomain.h"
#include "seamPrediction.h"
#include "wrapperGenSignalWave.h"

namespace {

// QPSK, RRC 0.35 over 6 symbols, 8 samples per symbol, 125000 symbols:
// 10^6 samples at 8 MS/s.
struct Qpsk {
    DigitalModParams params{};
    int symbols = 125000;
    std::vector<int16_t> iq;
    Qpsk() {
        params.modType = QPSK;
        params.symbolRate = 1e6;
        params.pnOrder = 9;
        params.pnSeed = 10;
        params.filterType = RRCOS;
        params.filterSpan = 6;
        params.samplesPerSymbol = 8;
        params.rolloff = 0.35;
        const int h = GenSignalObjCreatSelfEncode();
        int16_t* out = nullptr;
        int count = 0;
        if (GenerateDigitalModWaveform(h, &params, symbols, &out, &count, 8e6) == 0) iq.assign(out, out + count);
        GenSignalObjRelease(h);
    }
    GenSignalMeasureInput input(bool withRecord) const {
        GenSignalMeasureInput in{};
        in.samples = iq.data();
        in.valueCount = static_cast<int64_t>(iq.size());
        in.format = GENSIGNAL_FORMAT_CI16;
        in.sampleRate = 8e6;
        if (withRecord) {
            in.recordKind = GENSIGNAL_RECORD_DIGITAL;
            in.record = &params;
            in.argument = symbols;
        }
        return in;
    }
};

const Qpsk& qpsk() {
    static const Qpsk q;
    return q;
}

void perSample(benchmark::State& state, int64_t samples) {
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * samples / 1e6, benchmark::Counter::kIsRate);
}

void BM_Measure(benchmark::State& state) {
    const GenSignalMeasureInput in = qpsk().input(state.range(0) != 0);
    GenSignalMeasurement m{};
    for (auto _ : state) benchmark::DoNotOptimize(GenSignalMeasure(&in, nullptr, &m));
    perSample(state, in.valueCount / 2);
}
BENCHMARK(BM_Measure)->ArgName("evm")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_MeasureLevels(benchmark::State& state) {
    const Qpsk& q = qpsk();
    Levels levels;
    for (auto _ : state) benchmark::DoNotOptimize(measureLevels(Ci16Reader{q.iq.data()}, q.iq.size() / 2, levels));
    perSample(state, q.iq.size() / 2);
}
BENCHMARK(BM_MeasureLevels)->UseRealTime()->Unit(benchmark::kMillisecond);

// The seam measure on a dataset item's 4096 samples and on the whole buffer,
// beside its literal twin (every read through the cyclic index) in one run.
void BM_MeasureSeam(benchmark::State& state) {
    const Qpsk& q = qpsk();
    const int64_t n = state.range(0);
    const Ci16Reader x{q.iq.data()};
    for (auto _ : state)
        benchmark::DoNotOptimize(state.range(1) ? literal::seamPredictionRatio(x, n) : seamPredictionRatio(x, n));
    perSample(state, n);
}
BENCHMARK(BM_MeasureSeam)
    ->ArgNames({"samples", "literal"})
    ->ArgsProduct({{4096, 1000000}, {0, 1}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_MeasureSpectrum(benchmark::State& state) {
    const Qpsk& q = qpsk();
    Spectrum spectrum;
    const SpectrumRequest request{8e6, 99, 0, 0};
    for (auto _ : state)
        benchmark::DoNotOptimize(measureSpectrum(Ci16Reader{q.iq.data()}, q.iq.size() / 2, request, spectrum));
    perSample(state, q.iq.size() / 2);
}
BENCHMARK(BM_MeasureSpectrum)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_MeasureEvm(benchmark::State& state) {
    const Qpsk& q = qpsk();
    RecordReference ref;
    makeRecordReference(GENSIGNAL_RECORD_DIGITAL, &q.params, q.symbols, 8e6, q.iq.size() / 2, ref);
    EvmResult evm{};
    for (auto _ : state)
        benchmark::DoNotOptimize(measureLinearEvm(Ci16Reader{q.iq.data()}, ref.linear, evm, EvmPoints{}));
    perSample(state, q.iq.size() / 2);
}
BENCHMARK(BM_MeasureEvm)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_MeasureOfdm(benchmark::State& state) {
    OFDMParams p{};
    p.fftSize = 64;
    p.numSymbols = 12500;
    p.guardLow = 6;
    p.guardHigh = 5;
    p.cpPercent = 25;
    p.modType = QAM64;
    p.nullDC = 1;
    const int h = GenSignalObjCreatSelfEncode();
    int16_t* out = nullptr;
    int count = 0;
    GenerateOFDMWaveform(h, &p, &out, &count, 20e6);
    const std::vector<int16_t> iq(out, out + count);
    GenSignalObjRelease(h);
    GenSignalMeasureInput in{iq.data(), count, GENSIGNAL_FORMAT_CI16, GENSIGNAL_RECORD_OFDM, &p, 0, 0, 20e6};
    GenSignalMeasurement m{};
    for (auto _ : state) benchmark::DoNotOptimize(GenSignalMeasure(&in, nullptr, &m));
    perSample(state, count / 2);
}
BENCHMARK(BM_MeasureOfdm)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
