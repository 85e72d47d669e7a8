#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing; with
# --ci also what only CI's checks use (the format checks: clang-format,
# flake8 and black); with --fuzz what
# the fuzz preset needs: clang with libFuzzer and the sanitizer runtimes, and
# LLVM's OpenMP runtime; with --aarch64 what the 64-bit ARM cross build
# needs (scripts/aarch64.sh): Debian's cross compiler, the arm64 libraries
# beside the native ones (dpkg multiarch) and qemu-user to run the results.
# SoapySDR (wavegen play, gensignal.play) and GNU Radio (gensignal.gnuradio)
# are optional for the build; the tests of both need them.
set -euo pipefail
packages=(g++ cmake make pkgconf libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev libfftw3-dev nettle-dev
          libyaml-cpp-dev libliquid-dev python3 python3-numpy python3-scipy python3-matplotlib python3-pytest
          python3-pip python3-venv python3-setuptools python3-wheel help2man
          python3-distributed python3-dask python3-tqdm python3-h5py python3-yaml python3-torch
          libsoapysdr-dev soapysdr-tools python3-soapysdr gnuradio)
[ "${1:-}" = "--ci" ] && packages+=(git clang-format flake8 black)
[ "${1:-}" = "--fuzz" ] && packages+=(clang libclang-rt-dev libomp-dev)
[ "${1:-}" = "--aarch64" ] && packages+=(g++-aarch64-linux-gnu qemu-user libfftw3-dev:arm64 nettle-dev:arm64
                                         libyaml-cpp0.7:arm64 libgtest-dev:arm64 libgmock-dev:arm64)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ "${1:-}" = "--aarch64" ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $sudo dpkg --add-architecture arm64
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
