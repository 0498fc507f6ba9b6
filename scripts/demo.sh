#!/usr/bin/env bash
# Builds ciflash-sim and runs it against the simulated module, in real time. Options are passed
# on to ciflash-sim (see scripts/demo.sh --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target ciflash-sim >/dev/null
exec build/ciflash-sim "$@"
