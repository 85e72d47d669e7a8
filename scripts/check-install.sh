#!/usr/bin/env bash
# Installs a build (default: build/release) into a temporary prefix, moves the
# installed tree elsewhere, so that nothing can lean on the prefix the build
# was configured with, and builds the README's C host against it twice: with
# pkg-config and with CMake's find_package. Both hosts must build and run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/release}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/moved"
prefix="$work/moved"
library="$(find "$prefix" -name libgensignal.so.1)"
libdir="$(dirname "$library")"

# The host is the C block under the README's "A minimal C host".
awk '/^## A minimal C host/ { section = 1 } section && /^```c$/ { inside = 1; next }
     inside && /^```$/ { exit } inside' "$root/README.md" >"$work/host.c"
[ -s "$work/host.c" ] || { echo "check-install: no C host found in README.md" >&2; exit 1; }

export PKG_CONFIG_PATH="$libdir/pkgconfig"
flags="$(pkg-config --cflags --libs gensignal)"
case "$flags" in
    *"$prefix"*) ;;
    *) echo "check-install: pkg-config points outside the installed tree: $flags" >&2; exit 1 ;;
esac
# shellcheck disable=SC2086  # the flags are words
cc -std=c11 -Wall -Wextra -Werror "$work/host.c" $flags -o "$work/host-pkgconfig"
LD_LIBRARY_PATH="$libdir" "$work/host-pkgconfig"

mkdir "$work/cmake-host"
cp "$work/host.c" "$work/cmake-host/host.c"
cat >"$work/cmake-host/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(host LANGUAGES C)
find_package(gensignal 1 REQUIRED)
add_executable(host host.c)
target_compile_options(host PRIVATE -Wall -Wextra -Werror)
target_link_libraries(host PRIVATE gensignal::gensignal)
CMAKE
cmake -S "$work/cmake-host" -B "$work/cmake-host/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-host/build" >/dev/null
"$work/cmake-host/build/host"
echo "check-install: the README's host builds and runs with pkg-config and with find_package"
