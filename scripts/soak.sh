#!/usr/bin/env bash
# The whole suite on a busy machine: `ctest -j2` RUNS times in a row (default 20) in build/,
# while a second `ctest -j2` loops beside it in the same build. Stops at the first failure of
# either, keeping its output in build/soak/. Usage: scripts/soak.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIFLASH_TESTS=ON >/dev/null
cmake --build build >/dev/null
mkdir -p build/soak
rm -f build/soak/*.log build/soak/beside.count

beside() {
    local n=0
    while ctest --test-dir build -j2 >build/soak/beside.log 2>&1; do
        n=$((n + 1))
        echo $n >build/soak/beside.count
    done
    echo "soak.sh: the suite beside failed on its run $((n + 1)); see build/soak/beside.log" >&2
    return 1
}
set -m # the suite beside in a process group of its own, ended whole with the script
beside &
beside_pid=$!
set +m
trap 'kill -- -$beside_pid 2>/dev/null || true' EXIT

for run in $(seq "$runs"); do
    if ! kill -0 $beside_pid 2>/dev/null; then exit 1; fi
    if ! ctest --test-dir build -j2 --output-on-failure >"build/soak/run$run.log" 2>&1; then
        echo "soak.sh: run $run of $runs failed; see build/soak/run$run.log" >&2
        exit 1
    fi
    echo "run $run of $runs passed ($(sed -n 's/^Total Test time (real) = *//p' \
        "build/soak/run$run.log"))"
done
beside_runs=$(cat build/soak/beside.count 2>/dev/null || echo 0)
echo "all $runs runs passed; the suite beside passed $beside_runs whole runs meanwhile"
