#!/usr/bin/env bash
# command_line_test.sh VERSION PAGE0 PAGE1 CIFLASH-SIM [CIFLASH-REHEARSE CIFLASH-STANDIN]:
# command lines in a scratch directory, no terminal; the hardware program alone is refused.
VERSION=$1 SIM=$4 STANDIN=${6:-}
IMAGES=("$2" "$3")
status=0

version_text() {
    echo "$1 $VERSION"
    for p in 0 1; do
        set -- "$(stat -c %s "${IMAGES[$p]}")" "$(sha256sum "${IMAGES[$p]}")"
        echo "page $p image: $1 bytes, SHA-256 ${2:0:64}"
    done
}

# check CODE OUT ERR COMMAND...: standard output equal to OUT, or matching the regex after a
# leading ~; standard error (lines joined) matching ERR, or empty for "", one line for code 2.
check() {
    local code=$1 out=$2 err=$3 dir got why=""
    shift 3
    dir=$(mktemp -d)
    (cd "$dir" && setsid -w "$@" >out 2>err </dev/null)
    got=$?
    [ "$got" = "$code" ] || why="exit code $got"
    if [ "${out:0:1}" = "~" ]; then grep -qE -- "${out:1}" "$dir/out"; else
        [ "$(cat "$dir/out")" = "$out" ]; fi || why="$why; stdout"
    if [ -z "$err" ]; then [ ! -s "$dir/err" ]; else
        tr '\n' ' ' <"$dir/err" | grep -qE -- "$err"; fi || why="$why; stderr"
    [ "$code" != 2 ] || [ "$(wc -l <"$dir/err")" = 1 ] || why="$why; not one line"
    [ -z "$why" ] || { echo "FAIL: $*: $why" && cat "$dir/out" "$dir/err" && status=1; }
    rm -rf "$dir"
}

check 2 "" "^ciflash-sim: unknown option --bogus \(see --help\) $" "$SIM" --bogus
check 2 "" "^ciflash-sim: bad value for --reply: 1:17:65 \(expected PAGE:BLOCK:SW, SW as 4 hex \
digits\)" "$SIM" --reply 1:17:65
check 2 "" "^ciflash-sim: bad value for --hang: 1:0 \(expected PAGE:BLOCK, PAGE 0 or 1, BLOCK \
from 1\)" "$SIM" --fast --hang 1:0
check 2 "" "^ciflash-sim: no block 0:999 for --remove: page 0 has blocks 1 to 236 with a \
256-byte buffer" "$SIM" --remove 0:999
check 2 "" "^ciflash-sim: /nonexistent/dir/report.json: No such file" \
    "$SIM" --report /nonexistent/dir/report.json
check 0 "~--reply PAGE:BLOCK:SW" "" "$SIM" --help
check 0 "$(version_text ciflash-sim)" "" "$SIM" --version

if [ -n "$STANDIN" ]; then
    H="$5 --no-module -- $STANDIN"
    ONLY="\(only --no-history, --help or --version alone, or --history \[N\]\) $"
    check 1 "" "^ciflash-standin: the test build .* only under ciflash-rehearse" \
        "$STANDIN" --version
    check 0 "~^Usage: ciflash \[--no-history \| --help \| --version\]$" "" $H --help
    check 0 "~^ciflash $VERSION$" "" $H --version
    check 2 "" "^ciflash: unexpected argument 'x' $ONLY" $H --version x
    L=$(mktemp -d) && echo kept >"$L/t" && ln -s "$L/t" "$L/h" # a link planted as the history
    check 0 "~EXIT WITH 'Q'" "^ciflash: --no-history: this run leaves no record" \
        env CIFLASH_LOCK="$L/lock" $H --no-history
    check 1 "" "^ciflash: the update history $L/h cannot be opened: it is a symbolic link; .*\
'ciflash --no-history' to update without a record $" env CIFLASH_LOCK="$L/lock" "$5" \
        --history "$L/h" --trace "$L/trace" --no-module -- "$STANDIN"
    [ "$(cat "$L/t")" = kept ] && [ ! -s "$L/trace" ] || { echo "FAIL: link" && status=1; }
    rm -rf "$L"
fi
exit $status
