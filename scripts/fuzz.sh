#!/usr/bin/env bash
# Fuzzes every entry point (and the measurements and wavegen's file readers): builds the libFuzzer targets (preset fuzz: clang
# with AddressSanitizer and UndefinedBehaviorSanitizer), replays each
# target's committed corpus, then runs each target for SECONDS (default 60).
# Exits non-zero on any crash, sanitizer report, leak, timeout or
# out-of-memory stop, naming the target, the saved input and the call it
# makes. New inputs and stops are kept under build/fuzz/run/TARGET.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(digital dss am fm multitone pulse stepsweep rampsweep awgn ofdm measure files channel impair scene sceneyaml recording)

scripts/install-deps.sh --fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

bin=build/fuzz/tests/fuzz
limits=(-timeout=10 -rss_limit_mb=4096 -malloc_limit_mb=2048)
failed=()

# Names the stop a libFuzzer run ended with, its saved input and the call
# that input makes.
report() {
    local target="$1" log="$2"
    local input
    input="$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)"
    echo "FAILED fuzz_$target: $(grep -m 1 -E '^(==[0-9]+== ?ERROR|SUMMARY|\*\*\* gensignal)' "$log" || echo "exit status $3")"
    grep -E '^\*\*\* ' "$log" | head -n 3 || true
    if [ -n "$input" ]; then
        echo "  saved input: $input"
        echo "  call: $(GENSIGNAL_FUZZ_DESCRIBE=1 "$bin/fuzz_$target" "$input" 2>/dev/null | grep -m 1 '^Generate' || true)"
    fi
    echo "  log: $log"
    failed+=("$target")
}

printf '%-10s %10s %8s %8s %8s\n' target "exec/s" cov ft corpus
for target in "${targets[@]}"; do
    run="build/fuzz/run/$target"
    mkdir -p "$run/corpus" "$run/stops"
    options=("${limits[@]}" -artifact_prefix="$run/stops/" -print_final_stats=1)
    status=0
    "$bin/fuzz_$target" "${options[@]}" -runs=0 "tests/fuzz/corpus/$target" >"$run/replay.log" 2>&1 || status=$?
    if [ $status -ne 0 ]; then
        report "$target" "$run/replay.log" $status
        continue
    fi
    "$bin/fuzz_$target" "${options[@]}" -max_total_time="$seconds" "$run/corpus" "tests/fuzz/corpus/$target" \
        >"$run/fuzz.log" 2>&1 || status=$?
    if [ $status -ne 0 ]; then
        report "$target" "$run/fuzz.log" $status
        continue
    fi
    done_line="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$run/fuzz.log" | tail -n 1)"
    printf '%-10s %10s %8s %8s %8s\n' "$target" \
        "$(sed -n 's/^stat::average_exec_per_sec:[[:space:]]*//p' "$run/fuzz.log")" \
        "$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$done_line")" \
        "$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$done_line")" \
        "$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$done_line")"
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing stopped in: ${failed[*]}"
    exit 1
fi
echo "fuzzing: ${#targets[@]} targets, no stop"
