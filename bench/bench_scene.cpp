// A four-carrier scene of 10^7 samples: four 20 MHz OFDM carriers (QAM64,
// 1200 used subcarriers of 15 kHz) at 122.88 MS/s, 20 MHz apart, 975
// symbols with a quarter prefix (9984000 samples, on which the offsets are
// whole cycles), in exact mode: the parts alone, the scene without
// reduction, and the scene brought to 7.5 dB PAPR at 1e-4. Wall-clock time,
// the median of seven calls; everything runs on the OpenMP team.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "exampleRecords.h"
#include "wrapperGenSignalWave.h"

namespace {

constexpr int kPairs = 7;

void run(benchmark::State& state, bool scene, int cfr) {
    const OFDMParams o = examples::twentyMhzCarrier(975);  // 975 = 3 x 5^2 x 13: a length the transforms factor well
    const double rate = examples::kFourCarrierRate;
    std::vector<GenSignalScenePart> parts = examples::fourCarriers(&o);
    const GenSignalScene s = examples::fourCarrierScene(parts, cfr);
    const int h = GenSignalObjCreatSelfEncode();
    GenSignalSetOption(h, GENSIGNAL_OPTION_LOOP_MODE, GENSIGNAL_LOOP_EXACT);
    int16_t* iq = nullptr;
    int count = 0;
    auto partsAlone = [&] {
        for (int i = 0; i < 4; ++i)
            if (GenerateOFDMWaveform(h, &o, &iq, &count, rate)) state.SkipWithError("part refused");
    };
    auto seconds = [](auto&& f) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    // The scene and its parts alone in turn, pair after pair: each pair's
    // ratio is taken on the machine as it was for both, and the medians
    // leave out a pair that met a busy moment.
    std::vector<double> alone, made, ratio;
    for (auto _ : state) {
        for (int pair = 0; pair < kPairs; ++pair) {
            alone.push_back(seconds(partsAlone));
            if (!scene) continue;
            made.push_back(seconds([&] {
                if (GenerateSceneWaveform(h, &s, &iq, &count)) state.SkipWithError("scene refused");
            }));
            ratio.push_back(made.back() / alone.back());
        }
        state.SetIterationTime(median(scene ? made : alone));
        benchmark::DoNotOptimize(iq);
    }
    if (scene) state.counters["vs_parts_alone"] = median(ratio);
    state.counters["parts_alone_ms"] = 1e3 * median(alone);
    state.counters["samples"] = count / 2;
    GenSignalObjRelease(h);
}

void BM_SceneFourCarriers_PartsAlone(benchmark::State& state) { run(state, false, GENSIGNAL_CFR_OFF); }
void BM_SceneFourCarriers_Sum(benchmark::State& state) { run(state, true, GENSIGNAL_CFR_OFF); }
void BM_SceneFourCarriers_ClipFilter(benchmark::State& state) { run(state, true, GENSIGNAL_CFR_CLIP_FILTER); }

}  // namespace

BENCHMARK(BM_SceneFourCarriers_PartsAlone)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_SceneFourCarriers_Sum)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_SceneFourCarriers_ClipFilter)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
