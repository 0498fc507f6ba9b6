#!/usr/bin/env bash
# command_line_test.sh VERSION PAGE0 PAGE1 CIFLASH-SIM [CIFLASH-REHEARSE CIFLASH-STANDIN]
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

# check CODE OUT ERR COMMAND...: stdout OUT (~: a regex), stderr (joined) matching ERR or empty.
check() {
    local code=$1 out=$2 err=$3 d got w=
    shift 3
    d=$(mktemp -d)
    (cd "$d" && setsid -w "$@" >out 2>err </dev/null)
    got=$?
    [ "$got" = "$code" ] || w="exit code $got"
    if [ "${out::1}" = "~" ]; then grep -qE -- "${out:1}" "$d/out"; else
        [ "$(cat "$d/out")" = "$out" ]; fi || w="$w; stdout"
    if [ -z "$err" ]; then [ ! -s "$d/err" ]; else
        tr '\n' ' ' <"$d/err" | grep -qE -- "$err"; fi || w="$w; stderr"
    [ "$code" != 2 ] || [ "$(wc -l <"$d/err")" = 1 ] || w="$w; not one line"
    [ -z "$w" ] || { echo "FAIL: $*: $w" && cat "$d/out" "$d/err" && status=1; }
    rm -rf "$d"
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
check 2 "" "^ciflash-sim: bad value for --module-buffer: 65536 \(expected a number from 0 to \
65535\)" "$SIM" --module-buffer 65536
check 2 "" "^ciflash-sim: bad value for --base: 0x310 \(expected 0x300, 0x320, 0x340, 0x360 or \
0x380\)" "$SIM" --base 0x310
check 0 "~^  --reply PAGE:BLOCK:SW  answer" "" "$SIM" --help
check 0 "$(version_text ciflash-sim)" "" "$SIM" --version

if [ -n "$STANDIN" ]; then
    H="$5 --no-module -- $STANDIN"
    [ "$($5 --help | tail -1)" = "  --seed N --fault-rate P    seeded random faults at rate P \
per register access" ] || { echo "FAIL: ciflash-rehearse --help" && status=1; }
    ONLY="\(only --no-history, --help or --version alone, or --history \[N\]\) $"
    for a in "" --no-history; do
        check 1 "" "^ciflash-standin: the test build .* only under ciflash-rehearse" $STANDIN $a
    done
    check 0 "~^Usage: ciflash \[--no-history \| --help \| --version\]$" "" "$STANDIN" --help
    check 0 "~^ciflash $VERSION$" "" $H --version
    check 2 "" "^ciflash: unexpected argument 'x' $ONLY" $H --version x
    L=$(mktemp -d) && echo kept >"$L/t" && ln -s "$L/t" "$L/h" # a link planted as the history
    export CIFLASH_LOCK=$L/lock
    check 0 "~EXIT WITH 'Q'" "^ciflash: --no-history: this run leaves no record" $H --no-history
    check 1 "" "^ciflash: the update history $L/h cannot be opened: it is a symbolic link; .*\
'ciflash --no-history' to update without a record $" "$5" --history "$L/h" --trace "$L/trace" \
        --no-module -- "$STANDIN"
    [ "$(cat "$L/t")" = kept ] && [ ! -s "$L/trace" ] || { echo "FAIL: link" && status=1; }
    rm -rf "$L"
fi

# As root: every capability set empty while --history waits to open its history, a FIFO.
if [ -n "$STANDIN" ] && [ "$(id -u)" = 0 ]; then
    D=$(mktemp -d) && chmod 755 "$D" && trap 'rm -rf "$D"' EXIT
    cp "$STANDIN" "$D/c" && setcap cap_sys_rawio=ep "$D/c" && mkfifo "$D/h"
    export CIFLASH_LOCK=$D/lock CIFLASH_HISTORY=$D/h Z=0000000000000000
    timeout -s KILL 20 "$D/c" --history </dev/null &>/dev/null &
    for _ in $(seq 400); do
        p=$(cd /proc && grep -l wait_for_partner $(pgrep -g $! | sed 's|$|/wchan|') 2>/dev/null)
        [ -z "$p" ] && kill -0 $! 2>/dev/null && sleep 0.05 || break
    done
    got=$(grep -E '^Cap|^NoNew' "/proc/${p%/wchan}/status" | tr -d '\t\n')
    : <>"$D/h"
    wait $!
    [ "$got" = "$(printf 'Cap%s:%s' Inh $Z Prm $Z Eff $Z Bnd $Z Amb $Z)NoNewPrivs:1" ] ||
        { echo "FAIL: --history with cap_sys_rawio=ep: $got" && status=1; }
    # Run by nobody, the copy gains the capability from its file and ignores the environment.
    F=$(getent passwd nobody | cut -d: -f6)/.local/state/ciflash/history.jsonl
    [ ! -d /var/lib/ciflash ] || F=/var/lib/ciflash/history.jsonl
    HOME=$D XDG_STATE_HOME=$D check 1 "" "^ciflash: no history in $F: " \
        timeout 10 setpriv --reuid=nobody --regid=nogroup --clear-groups "$D/c" --history
elif [ -n "$STANDIN" ]; then echo "SKIP: the capability checks need root (setcap)"; fi
exit $status
