#!/usr/bin/env bash
# Installs a build (default: build/release) into a temporary prefix, moves the
# installed tree elsewhere, so that nothing can lean on the prefix the build
# was configured with, and runs from there with no environment variables:
# the README's C host built with pkg-config and with CMake's find_package,
# the installed wavegen, and a Python snippet importing the installed package
# (the README's PYTHONPATH only). The manual page and the bash completion
# must be installed too.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/release}"
python=/usr/bin/python3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/moved"
prefix="$work/moved"
library="$(find "$prefix" -name libgensignal.so.1)"
libdir="$(dirname "$library")"
site="$(dirname "$(dirname "$(find "$prefix" -path '*-packages/gensignal/__init__.py')")")"

# The host is the C block under the README's "A minimal C host".
awk '/^## A minimal C host/ { section = 1 } section && /^```c$/ { inside = 1; next }
     inside && /^```$/ { exit } inside' "$root/README.md" >"$work/host.c"
[ -s "$work/host.c" ] || { echo "check-install: no C host found in README.md" >&2; exit 1; }

flags="$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs gensignal)"
case "$flags" in
    *"$prefix"*) ;;
    *) echo "check-install: pkg-config points outside the installed tree: $flags" >&2; exit 1 ;;
esac
# The host sets its own run path, as hosts that link a library outside the
# loader's path do.
# shellcheck disable=SC2086  # the flags are words
cc -std=c11 -Wall -Wextra -Werror "$work/host.c" $flags -Wl,-rpath,"$libdir" -o "$work/host-pkgconfig"
env -i "$work/host-pkgconfig"

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
env -i "$work/cmake-host/build/host"

# wavegen finds the library through its own run path; Python through the
# place the install recorded beside the package.
(cd "$work" && env -i "$prefix/bin/wavegen" am -o moved-am >/dev/null)
(cd "$work" && env -i PYTHONPATH="$site" "$python" -c '
import gensignal
wf = gensignal.read_sigmf("moved-am")
assert wf.regenerate().iq.tobytes() == wf.iq.tobytes()
assert len(gensignal.digital()) == 8000
loaded = [line.split()[-1] for line in open("/proc/self/maps") if "libgensignal" in line]
assert loaded and all(path.startswith("'"$prefix"'/") for path in loaded), loaded
')
for file in share/man/man1/wavegen.1 share/bash-completion/completions/wavegen; do
    [ -s "$prefix/$file" ] || { echo "check-install: $file is not installed" >&2; exit 1; }
done
echo "check-install: from a moved prefix, the README's host (pkg-config and find_package), wavegen and the Python package run with no environment set"
