// Google Benchmark's main, plus the child modes that measure the memory of
// a first call in a process of its own: --peak-child=<job> <threads>, and
// the channel's, GENSIGNAL_CHANNEL_PEAK_CHILD=<threads> (bench_channel.cpp,
// absent from builds against an older library: the hook is weak).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "jobs.h"

int runChannelPeakChild(int threads) __attribute__((weak));

int main(int argc, char** argv) {
    const char* flag = "--peak-child=";
    if (argc == 3 && std::strncmp(argv[1], flag, std::strlen(flag)) == 0)
        return runPeakChild(std::atoi(argv[1] + std::strlen(flag)), std::atoi(argv[2]));
    if (const char* threads = std::getenv("GENSIGNAL_CHANNEL_PEAK_CHILD"))
        if (runChannelPeakChild) return runChannelPeakChild(std::atoi(threads));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
