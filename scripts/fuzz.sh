#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# each for a bounded time on a copy of its committed seed corpus, so that the committed corpus
# never grows. Any finding (crash, invariant violation, sanitizer report, time-out) fails the
# script; its input and log stay in build-fuzz/fuzz-work/TARGET/.
# Usage: scripts/fuzz.sh [SECONDS]   (seconds per target, default 60; e.g. 3600 for a long run)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [SECONDS]" >&2
    exit 2
fi
scripts/install-deps.sh clang libclang-rt-14-dev

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DCIFLASH_FUZZ=ON -DCIFLASH_TESTS=OFF
cmake --build build-fuzz --target fuzz_identify fuzz_run fuzz_history

# Largest input per target: an identification reply fits in 300 bytes; a fault schedule takes
# six bytes and five per fault, so 64 bytes hold eleven faults; a few history records take a
# few kilobytes.
declare -A max_len=([fuzz_identify]=300 [fuzz_run]=64 [fuzz_history]=8192)
failed=0
for target in fuzz_identify fuzz_run fuzz_history; do
    work=build-fuzz/fuzz-work/$target
    rm -rf "$work"
    mkdir -p "$work/corpus"
    cp fuzz/corpus/$target/* "$work/corpus/"
    echo "== $target: ${seconds} s"
    status=0
    build-fuzz/fuzz/$target -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
    echo "$target: ${runs:-?} executions (${rate:-?}/s)"
    findings=$(find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' \
        -o -name 'oom-*' -o -name 'leak-*' \))
    if [ "$status" -ne 0 ] || [ -n "$findings" ]; then
        failed=1
        echo "$target: FINDING (exit $status); log $work/log"
        tail -n 60 "$work/log"
        for input in $findings; do
            echo "-- $input"
            xxd "$input" | head -n 40
        done
    else
        echo "$target: no finding"
    fi
done
exit "$failed"
