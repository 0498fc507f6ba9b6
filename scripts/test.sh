#!/usr/bin/env bash
# The whole Linux test suite: installs what is missing, builds, and runs every test, the
# terminal end-to-end runs included. A second build gives the stand-in images as the real
# ones, only so that the hardware program compiles and its command line (the refused-ports
# diagnosis included) is tested; that build is never installed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
ctest --test-dir build --output-on-failure -j2

cmake -S . -B build-hardware -G Ninja -DCIFLASH_PAGE0_IMAGE="$PWD/protocol/images/standin_page0.bin" \
    -DCIFLASH_PAGE1_IMAGE="$PWD/protocol/images/standin_page1.bin"
cmake --build build-hardware --target ciflash ciflash-sim
ctest --test-dir build-hardware --output-on-failure -R command_line
