#!/usr/bin/env bash
# The command lines of both programs, each run in a scratch directory of its own.
# Usage: command_line_test.sh VERSION PAGE0-IMAGE PAGE1-IMAGE CIFLASH-SIM [CIFLASH-REHEARSE
# CIFLASH-STANDIN]. The images are those of ciflash-sim. The hardware program runs only under
# ciflash-rehearse, but for the one row that shows it refuses to run otherwise (with --version:
# without the refusal it would still touch no port).
VERSION=$1 SIM=$4 REHEARSE=${5:-} STANDIN=${6:-}
IMAGES=("$2" "$3")
status=0

version_text() {
    echo "$1 $VERSION"
    for page in 0 1; do
        echo "page $page image: $(stat -c %s "${IMAGES[$page]}") bytes, SHA-256 $(sha256sum "${IMAGES[$page]}" | cut -c1-64)"
    done
}

# check CODE OUT ERR COMMAND...: standard output equal to OUT, or matching the regex after a
# leading ~; standard error (lines joined) matching ERR, or empty for "", one line for code 2.
check() {
    local code=$1 out=$2 err=$3 dir got why=""
    shift 3
    dir=$(mktemp -d)
    (cd "$dir" && "$@" >out 2>err)
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

BAD="^ciflash-sim: bad value for"
check 2 "" "^ciflash-sim: unknown option --bogus \(see --help\) $" "$SIM" --bogus
check 2 "" "^ciflash-sim: unexpected argument extra " "$SIM" extra
check 2 "" "^ciflash-sim: option --module-buffer needs a value " "$SIM" --module-buffer
check 2 "" "$BAD --base: 0x310 \(expected 0x300, 0x320, 0x340, 0x360 or 0x380\)" "$SIM" --base 0x310
check 2 "" "$BAD --reply: 1:17:65 \(expected PAGE:BLOCK:SW, SW as 4 hex digits\)" "$SIM" --reply 1:17:65
check 2 "" "$BAD --fault-rate: 1.5 \(expected a rate from 0 to 1\)" "$SIM" --fault-rate 1.5
check 2 "" "^ciflash-sim: no block 0:999 for --remove: page 0 has blocks 1 to 236 with a 256-byte buffer" "$SIM" --remove 0:999
check 2 "" "^ciflash-sim: /nonexistent/dir/report.json: No such file" "$SIM" --report /nonexistent/dir/report.json
check 0 "~--reply PAGE:BLOCK:SW" "" "$SIM" --help
check 0 "$(version_text ciflash-sim)" "" "$SIM" --version

if [ -n "$STANDIN" ]; then
    ONLY="\(only --help or --version, alone\) $"
    check 1 "" "^ciflash-standin: the test build of ciflash, with stand-in page images instead of firmware. It runs only under ciflash-rehearse: ciflash-rehearse -- ciflash-standin $" "$STANDIN" --version
    check 0 "~^Usage: ciflash \[--help \| --version\]$" "" "$REHEARSE" -- "$STANDIN" --help
    check 0 "~^ciflash $VERSION$" "" "$REHEARSE" -- "$STANDIN" --version
    check 2 "" "^ciflash: unexpected argument '--bogus' $ONLY" "$REHEARSE" -- "$STANDIN" --bogus
    check 2 "" "^ciflash: unexpected argument 'x' $ONLY" "$REHEARSE" -- "$STANDIN" --version x
fi
exit $status
