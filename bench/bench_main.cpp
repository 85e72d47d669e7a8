// Google Benchmark's main, plus the child mode that measures the memory of
// a first call in a process of its own: --peak-child=<job> <threads>.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "jobs.h"

int main(int argc, char** argv) {
    const char* flag = "--peak-child=";
    if (argc == 3 && std::strncmp(argv[1], flag, std::strlen(flag)) == 0)
        return runPeakChild(std::atoi(argv[1] + std::strlen(flag)), std::atoi(argv[2]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
