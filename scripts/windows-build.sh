#!/usr/bin/env bash
# Cross-builds ciflash for 64-bit Windows with mingw-w64: ciflash-sim.exe, the unit tests and,
# when the firmware images are given, ciflash.exe. Installs the Debian packages it needs.
# Usage: scripts/windows-build.sh [-B BUILD-DIR] [CMAKE-OPTION...]
#   scripts/windows-build.sh -DCIFLASH_PAGE0_IMAGE=page0.bin -DCIFLASH_PAGE1_IMAGE=page1.bin
# The build directory is build-windows unless given.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/windows-env.sh

build=build-windows
if [ "${1:-}" = "-B" ]; then
    build=$2
    shift 2
fi

scripts/install-deps.sh cmake ninja-build g++-mingw-w64-x86-64-posix googletest

cmake --no-warn-unused-cli -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIFLASH_GTEST_SOURCE=/usr/src/googletest "$@"
cmake --build "$build"
