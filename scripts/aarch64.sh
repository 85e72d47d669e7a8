#!/usr/bin/env bash
# The library for 64-bit ARM, where only the generic kernels exist:
# cross-built with Debian's aarch64 compiler and arm64 libraries (preset
# aarch64), then run under qemu-user. Runs the C host, the tests (all but
# those that cap the address space, since under qemu the cap falls on the
# emulator itself, those that start wavegen, and the two exhaustive rounding
# sweeps), the allocation-failure host, and compares wavegen's output for
# every kind in both loop modes with the native release build's, byte for
# byte, and the measurements of each (wavegen measure --json) to 1e-3.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh --aarch64
cmake --preset aarch64 >/dev/null
cmake --build --preset aarch64 -j "$(nproc)"
cmake --preset release >/dev/null
cmake --build --preset release --target wavegen -j "$(nproc)" >/dev/null

bin=build/aarch64
# The host's teams whatever the load, as the test presets keep them: a team
# that grows in mid-call would start threads, whose stacks glibc asserts on
# when the allocation host fails them.
export GENSIGNAL_TEAMS=host
qemu-aarch64 "$bin/tests/c_host"
skipped='*OutOfMemory*:*DssMemory*:MultitoneLimits.ToneCountsBeyondTheRateAreRefusedBeforeAllocating'
skipped+=':*Wavegen*:ConversionKernels.RoundingEqualsLroundfOnEveryFloatUpTo32768'
skipped+=':ConversionKernels.DoubleRoundingEqualsLround'
qemu-aarch64 "$bin/tests/gensignal_tests" --gtest_brief=1 --gtest_filter="-$skipped"
OMP_NUM_THREADS=3 qemu-aarch64 "$bin/tests/gensignal_allocation_tests" --gtest_brief=1 2>&1 | grep -v "^    k = "

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
records=(
    "digital"
    "digital --sample-rate 10e6"
    "digital --mod-type 4 --symbol-count 20000 --sample-rate 7e6"
    "digital --mod-type 16 --filter-type 4 --filter-span 4 --rolloff 0.5 --symbol-count 10000 --sample-rate 6e6"
    "dss --bit-count 100 --sample-rate 1.1e6"
    "am --mod-shape 3 --mod-frequency 4 --sample-rate 1e6"
    "fm --mod-shape 4 --mod-frequency 4 --sample-rate 1e6"
    "multitone --tone-count 16 --tone-spacing 300 --sample-rate 1e6"
    "pulse --pulse-width 0.0002 --pulse-period 0.001 --sample-rate 44100"
    "stepsweep"
    "rampsweep"
    "awgn --seed 7 --duration 0.2 --sample-rate 1e6"
    "ofdm --windowing 1 --num-symbols 300 --mod-type 11"
    "digital --loop exact --symbol-rate 3e6 --sample-rate 10e6"
    "digital --loop exact --mod-type 16 --symbol-rate 5e6 --sample-rate 30.72e6"
    "dss --loop exact --bit-count 100 --sample-rate 10e6"
    "am --loop exact --mod-shape 3 --mod-frequency 7 --sample-rate 1e6"
    "fm --loop exact --mod-frequency 1001 --sample-rate 1e6"
    "multitone --loop exact --tone-count 16 --tone-spacing 310 --sample-rate 1e6 --tone-phases newman"
    "pulse --loop exact --pulse-width 0.0002 --pulse-period 0.00101 --sample-rate 44100"
    "stepsweep --loop exact"
    "rampsweep --loop exact"
    "awgn --loop exact --seed 7 --duration 0.2 --sample-rate 1e6"
    "ofdm --loop exact --sample-rate 30.72e6"
)
# The spectral measurements go through FFTW, whose ARM codelets round the
# last bits differently: ACPR and SFDR move by about 1e-6 dB, and by 0.02 dB
# where they reach -118 dB, the float spectrum's floor. The same keys and
# nulls, every figure within 1e-4 or one part in a thousand.
same_measurements() {
    /usr/bin/python3 - "$1" "$2" <<'PY'
import json, math, sys
def same(a, b):
    if isinstance(a, dict):
        return isinstance(b, dict) and a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return isinstance(b, list) and len(a) == len(b) and all(map(same, a, b))
    if isinstance(a, float) or isinstance(b, float):
        return isinstance(b, (int, float)) and math.isclose(a, b, rel_tol=1e-3, abs_tol=1e-4)
    return a == b
sys.exit(0 if same(*(json.load(open(f)) for f in sys.argv[1:])) else 1)
PY
}
differ=0
for r in "${records[@]}"; do
    # shellcheck disable=SC2086
    build/release/tools/wavegen/wavegen -o "$out/native" $r >/dev/null
    # shellcheck disable=SC2086
    OMP_NUM_THREADS=3 qemu-aarch64 "$bin/tools/wavegen/wavegen" -o "$out/arm" $r >/dev/null
    build/release/tools/wavegen/wavegen measure --json "$out/native" >"$out/native.json"
    OMP_NUM_THREADS=3 qemu-aarch64 "$bin/tools/wavegen/wavegen" measure --json "$out/arm" >"$out/arm.json"
    if cmp -s "$out/native.sigmf-data" "$out/arm.sigmf-data" && same_measurements "$out/native.json" "$out/arm.json"; then
        echo "aarch64 wavegen $r: same bytes, same measurements"
    else
        echo "aarch64 wavegen $r: DIFFERENT"
        differ=1
    fi
done
[ $differ -eq 0 ] || { echo "aarch64: wavegen differs from the native build"; exit 1; }
echo "aarch64: ${#records[@]} waveforms and their measurements as on x86-64"
