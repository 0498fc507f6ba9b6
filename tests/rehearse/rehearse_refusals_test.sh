#!/usr/bin/env bash
# rehearse_refusals_test.sh CIFLASH-REHEARSE CIFLASH-STANDIN PROBE CIFLASH-SIM: the probe's
# misuses end with exit code 3 and their line; a TERM while writing waits for the write's end.
REHEARSE=$1 STANDIN=$2 P="-- $3" SIM=$4
DIR=$(mktemp -d)
export CIFLASH_LOCK=$DIR/lock # the reader's lock of this run alone
trap 'rm -rf "$DIR"' EXIT
cd "$DIR" || exit 1
status=0
fail() { echo "FAIL: $*" && status=1; }
# A session and a time limit: nothing outlives the test.
run() { timeout -k 5 20 setsid "$REHEARSE" --report r.json "$@" </dev/null >out 2>err; }
printf '#!/bin/sh\n[ "$1" = --version ] || exec %s\n' "$STANDIN" >other && chmod +x other
SUMS=$("$SIM" --version | sed -n 's/.*SHA-256 //p' | paste -sd,)
W="0x300-0x302 0x320-0x322 0x340-0x342 0x360-0x362 0x380-0x382"
W4=$(sed -E 's/2( |$)/3\1/g' <<<"$W")
R="ran the port instruction"
U="ciflash-rehearse: ./other --version does not name the simulated module's images"
I="at ADDR on the I/O port"
N="not a byte-wide in or out without prefix"
BND=$(printf %016x $((0x$(grep CapBnd /proc/self/status | cut -f2) & ~($(id -u) ? 0 : 1 << 17))))
M="--erase-ms 0 --block-ms 0 --reply 0:40:6581"
O="opened for writing what is not the terminal, /dev/null, its history or its lock"
ROOT='#' && [ "$(id -u)" = 0 ] && ROOT= && mknod n c 1 4
ln -s /proc/self/mem memlink && mkdir -m 700 secret && echo keep >secret/f
timeout 60 setsid "$SIM" --fast $M </dev/null >/dev/null 2>&1
SIM_CODE=$?
# options | exit code | error (for 3 the reason) | a line of the report or output
while IFS='|' read -r options code message line; do
    [ "${options::1}" = \# ] && echo "SKIP (not root): $options" && continue
    run $options
    got="$?|$(grep -v '^$' err | sed -E 's/at 0x[0-9A-F]+ /at ADDR /')"
    [ "$code" = 3 ] && message="ciflash-rehearse: the program $message; run stopped."
    [ "$got" = "$code|$message" ] || fail "$options: got $got"
    grep -qF -- "$line" r.json out || fail "$options: no '$line' in: $(cat r.json out)"
done <<EOF_CASES
$P wrong-window|3|asked for the I/O ports $W, not exactly $W4|"ended": {"signal": 9}
$P outside|3|$R E6 80 $I 0x80, outside the windows it asked for|"stopped": "the program ran
$P word|3|$R 66 ED $I 0x301, $N|"port_reads": 0,
$P dword|3|$R ED $I 0x301, $N|
$P rep-insb|3|$R F3 6C $I 0x301, $N|
$P prefixed|3|$R 3E EC $I 0x301, $N|
$P thread|3|started a thread (clone3)|
$P child|3|started a process (clone)|
$ROOT$P path n|3|opened the I/O ports: openat(-100, "n", 0x200000, 0)|
$P open memlink|3|opened a process's memory: openat(-100, "memlink", 0x0, 0)|
$P write secret/f|3|$O: openat(-100, "secret/f", 0x201, 0)|
$P rewrite|3|$R ED $I 0x301, $N|
$P segment|3|faulted at ADDR in the code segment 0x23, not the flat 64-bit one (0x33)|
$ROOT$P keep-permitted|3|still holds capabilities at its first port access (effective 0000000000000000, permitted $BND): it must give them up once the ports are open|
--history h $P status|0||CapBnd:	$BND NoNewPrivs:	1 CIFLASH_HISTORY=[$DIR/h]
$P status|0||CIFLASH_HISTORY=[] CIFLASH_LOCK=[$DIR/lock]
$M -- ./other|$SIM_CODE|$U (${SUMS/,/, }): matches_image is null|"matches_image": null
EOF_CASES
[ "$(cat secret/f)" = keep ] || fail "secret/f written"
# No CIFLASH_LOCK: a private lock, gone after the run.
CIFLASH_LOCK= run $P status
L=$(sed -n 's/.*CIFLASH_LOCK=\[\(.*\)\]/\1/p' out)
[[ $L == /tmp/ciflash-rehearse.??????/lock && ! -e ${L%/lock} ]] || fail "private lock: $L"
[ "$(cat secret/f)" = keep ] || fail "secret/f written"
# No CIFLASH_LOCK: a private lock, gone after the run.
CIFLASH_LOCK= run $P status
L=$(sed -n 's/.*CIFLASH_LOCK=\[\(.*\)\]/\1/p' out)
[[ $L == /tmp/ciflash-rehearse.??????/lock && ! -e ${L%/lock} ]] || fail "private lock: $L"

# TERM to the session while blocks are written: the write goes on to its end.
timeout -k 5 60 setsid "$REHEARSE" $M --trace t --report r.json -- "$STANDIN" </dev/null >out &
for _ in $(seq 600); do
    { [ "$(stat -c %s t 2>/dev/null)" -gt 30000 ] 2>/dev/null || ! kill -0 $!; } && break ||
        sleep 0.05
done
kill -TERM -- -"$(pgrep -P $!)"
wait $!
got="$?|$(grep -o '"blocks": [0-9]*' r.json)|$(grep -o '"ended": .*' r.json)"
[ "$got" = '143|"blocks": 40|"ended": {"exit_code": 143},' ] || fail "TERM: got $got"
exit $status
