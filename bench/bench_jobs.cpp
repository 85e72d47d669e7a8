// Our jobs through the public C API at 1 and 2 threads: output samples per
// second, the ratio to liquid-dsp's QPSK job measured in the same run (its
// resampled job for the 10 MHz cases), and the resident growth of a first
// call on a fresh handle per output sample, I/Q buffer included. Wall-clock
// time: the library runs on OpenMP threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <chrono>
#include <cstring>
#include <string>

#include "jobs.h"
#include "wrapperGenSignalWave.h"

namespace {

void BM_Job(benchmark::State& state, int index, int threads) {
    const Job& j = job(index);
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    const int handle = GenSignalObjCreatSelfEncode();
    int16_t* iq = nullptr;
    int count = 0;
    if (j.generate(handle, &iq, &count) != 0) state.SkipWithError("generation failed");
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int rc = j.generate(handle, &iq, &count);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (rc != 0) {
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
    if (j.peer) {
        const double peer = j.peer();
        if (peer > 0 && seconds > 0) state.counters["x_peer"] = state.iterations() * samples / seconds / peer;
        state.SetLabel(j.peerName);
    } else {
        const bool resampled = std::strstr(j.name, "10MHz") != nullptr;
        const double peer = peerRate(resampled);
        if (peer > 0 && seconds > 0) state.counters["x_liquid"] = state.iterations() * samples / seconds / peer;
    }
    state.counters["peak_B/sample"] = peakBytesPerSample(index, threads);
}

const bool registered = [] {
    for (int index = 0; index < jobCount(); ++index)
        for (int threads : {1, 2})
            benchmark::RegisterBenchmark(
                (std::string("Job/") + job(index).name + "/threads:" + std::to_string(threads)).c_str(), BM_Job, index,
                threads)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
