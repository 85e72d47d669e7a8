#!/usr/bin/env bash
# Builds the job benchmarks (public C API only, with the liquid-dsp peer)
# against another build of the library, for before/after figures:
#   scripts/bench-against.sh <source tree> <build dir> [benchmark options]
# e.g. scripts/bench-against.sh ../baseline ../baseline/build/release --benchmark_filter=Job
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
src="$(cd "$1" && pwd)"
lib="$(cd "$2" && pwd)"
shift 2
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
g++ -O2 -std=c++17 -fopenmp -ffp-contract=off -DGENSIGNAL_HAVE_LIQUID -I"$src/include" \
    "$here"/bench/bench_main.cpp "$here"/bench/bench_jobs.cpp "$here"/bench/jobs.cpp "$here"/bench/waveJobs.cpp \
    "$here"/bench/bench_plain_chirp.cpp "$here"/bench/bench_liquid.cpp "$here"/bench/bench_liquid_waves.cpp \
    -L"$lib" -Wl,-rpath,"$lib" -lgensignal -lliquid -lbenchmark -lpthread -o "$out/jobs_bench"
"$out/jobs_bench" "$@"
