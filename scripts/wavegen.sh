#!/usr/bin/env bash
# Builds the release configuration (installing what it needs) and runs
# wavegen with the given arguments; without arguments it writes the default
# waveform to waveform.sigmf-data and waveform.sigmf-meta in the current directory.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" --preset release >/dev/null
cmake --build "$root/build/release" --target wavegen -j "$(nproc)" >/dev/null
exec "$root/build/release/tools/wavegen/wavegen" "$@"
