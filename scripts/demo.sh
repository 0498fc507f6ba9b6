#!/usr/bin/env bash
# Builds ciflash-sim and runs it against the simulated module, in real time. Options are passed
# on to ciflash-sim (see scripts/demo.sh --help).
set -euo pipefail
cd "$(dirname "$0")/.."
echo "Building ciflash-sim in build/, then running it against the simulated module." >&2
scripts/install-deps.sh --build-only >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIFLASH_TESTS=OFF >/dev/null
cmake --build build --target ciflash-sim >&2
exec build/ciflash-sim "$@"
