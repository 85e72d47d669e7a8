#!/usr/bin/env bash
# Builds the release configuration (installing what it needs) and runs every
# test: CTest, then the Python package's tests with Debian's python3.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
ctest --preset release -j "$(nproc)"
/usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests
