#!/usr/bin/env bash
# ciflash-rehearse without a terminal: the hardware program runs to its end (an empty reader,
# no keyboard), and the probe's misuses of the ports end with their exit codes and messages.
# Usage: rehearse_refusals_test.sh CIFLASH-REHEARSE CIFLASH-STANDIN REHEARSE-PROBE
REHEARSE=$1 STANDIN=$2 PROBE=$3
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
WINDOWS="0x300-0x303 0x320-0x323 0x340-0x343 0x360-0x363 0x380-0x383"

# program | exit code | standard error | 4-port windows in the report
CASES=(
    "$STANDIN|0||5"
    "$PROBE wrong-window|3|ciflash-rehearse: the program asked for the I/O ports 0x300-0x302 0x320-0x322 0x340-0x342 0x360-0x362 0x380-0x382, not exactly $WINDOWS; run stopped.|0"
    "$PROBE outside|3|ciflash-rehearse: the program accessed the I/O port 0x80, outside the windows it asked for; run stopped.|5"
    "$PROBE crash|139||5"
)
status=0
for entry in "${CASES[@]}"; do
    IFS='|' read -r program code message windows <<<"$entry"
    # setsid: no controlling terminal, so the program finds no keyboard.
    setsid "$REHEARSE" --no-module --report "$DIR/report.json" -- $program </dev/null >/dev/null 2>"$DIR/err"
    got=$?
    [ "$got" = "$code" ] || { echo "FAIL: $program: exit code $got, expected $code"; status=1; }
    [ "$(grep -v '^$' "$DIR/err")" = "$message" ] || { echo "FAIL: $program: stderr $(cat "$DIR/err")"; status=1; }
    got=$(grep -c '"ports": 4, "turn_on": true' "$DIR/report.json")
    [ "$got" = "$windows" ] || { echo "FAIL: $program: $got windows in $(cat "$DIR/report.json")"; status=1; }
done
exit $status
