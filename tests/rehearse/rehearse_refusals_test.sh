#!/usr/bin/env bash
# rehearse_refusals_test.sh CIFLASH-REHEARSE CIFLASH-STANDIN PROBE CIFLASH-SIM
REHEARSE=$1 STANDIN=$2 P="-- $3" SIM=$4
DIR=$(mktemp -d)
export CIFLASH_LOCK=$DIR/lock
trap 'rm -rf "$DIR"' EXIT
cd "$DIR" || exit 1
status=0
fail() { echo "FAIL: $*" && status=1; }
run() { timeout -k 5 20 setsid $INH "$REHEARSE" --report r.json "$@" </dev/null >out 2>err 3<"$SIM"; }
ln -s "$3" other
SUMS=$("$SIM" --version | sed -n 's/.*SHA-256 //p' | paste -sd,)
W="0x300-0x302 0x320-0x322 0x340-0x342 0x360-0x362 0x380-0x382"
W4=$(sed -E 's/2( |$)/3\1/g' <<<"$W")
R="ran the port instruction"
U="ciflash-rehearse: ./other --version does not name the simulated module's images"
I="at ADDR on the I/O port"
N="$I 0x301, not a byte-wide in or out without prefix"
C=called Z=0000000000000000
A=", a system call outside the rehearsal's allow-list" E=", 0x0, 0x0, 0x0)$A"
# Root's program, given CAP_SYS_RAWIO inheritable and ambient, holds no capability.
ROOT='#'
if [ "$(id -u)" = 0 ]; then
    ROOT= BND=$Z INH="setpriv --inh-caps +sys_rawio --ambient-caps +sys_rawio" && mknod n c 1 4
else BND=$(grep CapBnd /proc/self/status | cut -f2); fi
O="opened for writing what is not the terminal, /dev/null, its history or its lock"
ln -s /proc/self/mem memlink && mkdir -m 700 secret && echo keep >secret/f
CAPS=$(printf 'Cap%s:\t%s ' Inh $Z Prm $Z Eff $Z Bnd "$BND" Amb $Z)$'NoNewPrivs:\t1 0 1 2'
M="--erase-ms 0 --block-ms 0 --reply 0:40:6581"
timeout 60 setsid "$SIM" --fast $M </dev/null >/dev/null 2>&1
SIM_CODE=$?
while IFS='|' read -r o c m l; do
    [ "${o::1}" = \# ] && echo "SKIP (not root): $o" && continue
    run $o
    got="$?|$(grep -v '^$' err | sed -E 's/at 0x[0-9A-F]+ /at ADDR /')"
    [ "$c" = 3 ] && m="ciflash-rehearse: the program $m; run stopped."
    [[ $got == "$c|"$m ]] || fail "$o: got $got"
    grep -qF -- "$l" r.json out || fail "$o: no '$l' in: $(cat r.json out)"
done <<EOF_CASES
$P wrong-window|3|asked for the I/O ports $W, not exactly $W4|"ended": {"signal": 9}
$P outside|3|$R E6 80 $I 0x80, outside the windows it asked for|"stopped": "the program ran
$P word|3|$R 66 ED $N|"port_reads": 0,
$P dword|3|$R ED $N|
$P rep-insb|3|$R F3 6C $N|
$P prefixed|3|$R 3E EC $N|
$P thread|3|started a thread (clone3)|
$P child|3|started a process (clone)|
$ROOT$P path n|3|opened the I/O ports: openat(-100, "n", 0x200000, 0)|
$P open memlink|3|opened a process's memory: openat(-100, "memlink", 0x0, 0)|
$P write secret/f|3|$O: openat(-100, "secret/f", 0x201, 0)|
$P rewrite|3|$R ED $N|
$P segment|3|faulted at ADDR in the code segment 0x23, not the flat 64-bit one (0x33)|
--history h $P status|0||$CAPS CIFLASH_HISTORY=[$DIR/h] CIFLASH_LOCK=[$DIR/lock]
$P status|0||CIFLASH_HISTORY=[] CIFLASH_LOCK=[$DIR/lock]
$P 101|3|$C ptrace(0x4206, *, 0x0$E|
$P 62|3|$C kill(*, 0x13, 0x0$E|
$P 234|3|$C tgkill(*, *, 0x13$E|
$P 157|3|$C prctl(0x16, 0x2, 0x0$E|
$P 85 n|3|$C creat(*, 0x180, 0x0$E|
$P 425|3|$C io_uring_setup(0x1, 0x0, 0x0$E|
$P 154|3|$C modify_ldt(0x1, 0x0, 0x10$E|
$P 133 node|3|$C mknod(*, 0x2180, 0x104$E|
$P int80|3|$C the 32-bit read(*)$A|
$P environ|0||Permission denied
$P fchmod r.json|0||Operation not permitted
$M -- ./other exec $STANDIN|$SIM_CODE|$U (${SUMS/,/, }): matches_image is null|"matches_image": null
EOF_CASES
[ "$(cat secret/f)" = keep ] || fail "secret/f written"
# As nobody, being non-dumpable keeps the supervisor unreadable and a second run's child (the
# images' check) traceable.
nobody() { (CIFLASH_LOCK= timeout 20 setpriv --reuid=nobody --regid=nogroup \
    --clear-groups ./ciflash-rehearse --report /dev/null -- ./rehearse_probe "$@" 2>&1); }
if [ -z "$ROOT" ]; then
    mkdir -m 755 copies && chmod 755 . && cp "$REHEARSE" "$3" copies/ && cd copies
    [ "$(nobody environ)" = "Permission denied" ] || fail "environ as nobody: $(nobody environ)"
    [ -z "$(nobody)" ] || fail "a run as nobody: $(nobody)"
    cd "$DIR" || exit 1
fi
CIFLASH_LOCK= run $P status
L=$(sed -n 's/.*CIFLASH_LOCK=\[\(.*\)\]/\1/p' out)
[[ $L == /tmp/ciflash-rehearse.??????/lock && ! -e ${L%/lock} ]] || fail "private lock: $L"
# TERM to the session while blocks are written: the write goes on to its end.
timeout -k 5 60 setsid "$REHEARSE" $M --trace t --report r.json --history th -- "$STANDIN" \
    </dev/null >out &
for _ in $(seq 600); do
    { [ "$(stat -c %s t 2>/dev/null)" -gt 30000 ] 2>/dev/null || ! kill -0 $!; } && break ||
        sleep 0.05
done
kill -TERM -- -"$(pgrep -P $!)"
wait $!
got="$?|$(grep -o '"blocks": [0-9]*' r.json)|$(grep -o '"ended": .*' r.json)|$(grep -c . th)"
[ "$got" = '143|"blocks": 40|"ended": {"exit_code": 143},|2' ] || fail "TERM: got $got"
exit $status
