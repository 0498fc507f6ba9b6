#!/usr/bin/env bash
# The benchmark: builds ciflash-sim and the runner in release mode (build-bench), runs whole
# updates against the simulated module and --history 5 on a 200 MB history, and prints the
# Markdown tables. Takes about 50 s.
# Usage: scripts/bench.sh [REPETITIONS]   (default 3; the tables give the median)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCIFLASH_TESTS=OFF >/dev/null
cmake --build build-bench --target ciflash-bench ciflash-bench-history >/dev/null
exec build-bench/bench/ciflash-bench build-bench/ciflash-sim "${1:-3}"
