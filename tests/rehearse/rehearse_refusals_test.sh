#!/usr/bin/env bash
# ciflash-rehearse without a terminal (no keyboard): the hardware program runs to its end, and
# the probe's misuses of the ports end with their exit codes and messages.
# Usage: rehearse_refusals_test.sh CIFLASH-REHEARSE CIFLASH-STANDIN REHEARSE-PROBE
REHEARSE=$1 STANDIN=$2 PROBE=$3
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
WINDOWS="0x300-0x303 0x320-0x323 0x340-0x343 0x360-0x363 0x380-0x383"
STOPPED="ciflash-rehearse: the program"
status=0
# program | exit code | standard error | 4-port windows in the report
while IFS='|' read -r program code message windows; do
    setsid "$REHEARSE" --no-module --report "$DIR/report.json" -- $program </dev/null >/dev/null 2>"$DIR/err"
    got="$?|$(grep -v '^$' "$DIR/err")|$(grep -c '"ports": 4, "turn_on": true' "$DIR/report.json")"
    [ "$got" = "$code|$message|$windows" ] || { echo "FAIL: $program: got $got"; status=1; }
done <<EOF_CASES
$STANDIN|0||5
$PROBE wrong-window|3|$STOPPED asked for the I/O ports 0x300-0x302 0x320-0x322 0x340-0x342 0x360-0x362 0x380-0x382, not exactly $WINDOWS; run stopped.|0
$PROBE outside|3|$STOPPED accessed the I/O port 0x80, outside the windows it asked for; run stopped.|5
$PROBE crash|139||5
EOF_CASES
exit $status
