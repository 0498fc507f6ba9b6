#!/usr/bin/env bash
# The whole Linux test suite: installs what is missing, builds, and runs every test, the
# terminal end-to-end runs included; the hardware program is tested as ciflash-standin, built
# with the stand-in images.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIFLASH_TESTS=ON
cmake --build build
ctest --test-dir build --output-on-failure -j2
