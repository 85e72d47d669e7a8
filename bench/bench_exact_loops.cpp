// The exact loop mode beside the defined mode in one run: each pair times
// the defined twin, then the exact job, on the same number of threads;
// output samples per second of both, their ratio, and the exact job's
// resident growth per output sample (I/Q buffer included). Wall-clock time.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <chrono>
#include <string>

#include "jobs.h"
#include "wrapperGenSignalWave.h"

namespace {

// Output samples per second of `runs` calls of a job on a fresh handle,
// after one untimed call.
double rate(const Job& j, int runs) {
    const int handle = GenSignalObjCreatSelfEncode();
    int16_t* iq = nullptr;
    int count = 0;
    if (j.generate(handle, &iq, &count) != 0) return 0;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < runs; ++r) j.generate(handle, &iq, &count);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    GenSignalObjRelease(handle);
    return runs * (count / 2.0) / seconds;
}

void BM_ExactVsDefined(benchmark::State& state, int pair, int threads) {
    const int definedIndex = jobCount() - kExactJobCount + 2 * pair;
    const Job& defined = job(definedIndex);
    const Job& exact = job(definedIndex + 1);
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    const double definedRate = rate(defined, 3);
    const int handle = GenSignalObjCreatSelfEncode();
    int16_t* iq = nullptr;
    int count = 0;
    if (exact.generate(handle, &iq, &count) != 0) state.SkipWithError("generation failed");
    for (auto _ : state) {
        if (exact.generate(handle, &iq, &count) != 0) {
            state.SkipWithError("generation failed");
            break;
        }
        benchmark::DoNotOptimize(iq);
    }
    GenSignalObjRelease(handle);
    omp_set_num_threads(saved);
    const double samples = count / 2.0;
    state.counters["Msamples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * samples / 1e6, benchmark::Counter::kIsRate);
    state.counters["defined_Msamples/s"] = definedRate / 1e6;
    state.counters["peak_B/sample"] = peakBytesPerSample(definedIndex + 1, threads);
    state.counters["defined_peak_B/sample"] = peakBytesPerSample(definedIndex, threads);
    state.SetLabel(exact.name);
}

const bool registered = [] {
    for (int pair = 0; pair < kExactJobCount / 2; ++pair)
        for (int threads : {1, 2})
            benchmark::RegisterBenchmark(
                (std::string("ExactVsDefined/") + job(jobCount() - kExactJobCount + 2 * pair).name +
                 "/threads:" + std::to_string(threads))
                    .c_str(),
                BM_ExactVsDefined, pair, threads)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
