#!/usr/bin/env bash
# Runs of ciflash-sim with --history, without a terminal or in an 80x25 pseudo-terminal whose
# input stays open (tty): the records each ending leaves.
SIM=$1 D=$(mktemp -d) status=0 pid=
trap '[ -z "$pid" ] || kill -9 $pid; rm -rf "$D"' EXIT
fail() { echo "FAIL: $*" && status=1; }
start() { setsid "$SIM" --history "$D/h" "$@" </dev/null >/dev/null 2>"$D/err" & pid=$!; }
tty() {
    TERM=xterm setsid script -qfec "stty rows 25 cols 80; exec $SIM --history $D/h $*" \
        /dev/null <"$D/in" >"$D/screen" 2>"$D/err" &
    pid=$!
}
until_ok() { for _ in $(seq 600); do "$@" && return; sleep 0.05; done; fail "never $*"; }
mkfifo "$D/in" && exec 3<>"$D/in"
read -r S0 S1 < <("$SIM" --version | sed -n 's/.*SHA-256 //p' | xargs)
# check CODE KINDS TEXT...: exit code (a pattern), record kinds, texts of the last one (the exit
# code too unless a text names one).
check() {
    local code=$1 kinds=$2 got
    wait $pid
    got=$? pid=
    shift 2
    [[ $got == $code && $(cut -c12-16 "$D/h" | xargs) == "$kinds" ]] || fail "$got $kinds"
    [[ $kinds == start || $* == *exit_code* ]] || set -- "$@" "\"exit_code\":$got"
    for t; do tail -1 "$D/h" | grep -qF -- "$t" || fail "no $t: $(cat "$D/h")"; done
    [ ! -s "$D/err" ] || fail "$(cat "$D/err")"
    rm "$D/h"
}
start --fast --report "$D/report"
check 0 "start ended" '"success","blocks":[236,234],"sent":[236,234]'
start --fast --reply 0:3:6581
check 4 "start ended" '"Critical Flash memory error ","blocks":[2,0],"sent":[3,0]'
# The first block frame, which erases the page, sent and not acknowledged.
for fault in --reply=0:1:6400 --reply=0:1:6481 --hang=0:1; do
    start --fast "${fault%=*}" "${fault#*=}"
    check 4 "start ended" '"blocks":[0,0],"sent":[1,0]'
done
start --fast --processor 52
check 1 ended '"Wrong processor !!!"' '"processor":"52"}' "$S0" \
    "\"user\":\"$(id -un)\",\"uid\":$(id -u),"
start --free-never
until_ok grep -qE 'SigCgt:.*[4-7c-f]...$' /proc/$pid/status # SIGTERM caught
kill -TERM $pid
check 143 ended '"signal 15","blocks":[0,0],"sent":[0,0]'
start --hang 0:1
until_ok grep -qs started "$D/h"
kill -9 $pid
check 137 start '"0x300","buffer":256,"frame_mode":1,"module":{"bios_revision":"1.07"' \
    "\"$S0\"},{" "\"$S1\"}]"
# A signal after the outcome is drawn, held during the write or on the outcome's screen: the
# outcome and its exit code stay, the signal beside them.
start --erase-ms 0 --block-ms 0 --busy 0:2:3000 --reply 0:3:6581
until_ok grep -qE 'SigBlk:.*[4-7c-f]...$' /proc/$pid/status # SIGTERM held
kill -TERM $pid
check 143 "start ended" '"Critical Flash memory error "' '"exit_code":4,"signal":15}'
for end in "success|0|UPDATE SUCCESSFULL|" "Critical Flash memory error |4|ESC|--reply 0:3:6581"; do
    IFS='|' read -r outcome code text fault <<<"$end"
    tty --fast $fault
    until_ok grep -q "$text" "$D/screen"
    kill -HUP "$(pgrep -P $pid)"
    check 129 "start ended" "\"$outcome\"" "\"exit_code\":$code,\"signal\":1}"
done
# Each record a line of its own after a cut line.
printf x >"$D/h"
start --fast
wait $pid; pid=
[ "$(cut -c1-12 "$D/h" | xargs -d '\n')" = 'x {"record":"s {"record":"e' ] || fail "$(cat "$D/h")"
rm "$D/h"
# A history that cannot be opened: one line, exit code 1, no port access, the link's target kept.
echo kept >"$D/t" && ln -s "$D/t" "$D/link" && mkfifo "$D/fifo" && mkdir "$D/dir"
for bad in "link|it is a symbolic link" "fifo|it is not a regular file" "dir|Is a directory" \
    "none/h|No such file or directory"; do
    setsid "$SIM" --fast --history "$D/${bad%|*}" --report "$D/r" </dev/null >/dev/null 2>"$D/err"
    [ $? = 1 ] && [ "$(wc -l <"$D/err")" = 1 ] && grep -qx "ciflash-sim: the update history \
$D/${bad%|*} cannot be opened: ${bad#*|}; name another file with --history, or leave the \
option out" "$D/err" && grep -q '"port_reads": 0,' "$D/r" || fail "$bad $(cat "$D/err")"
done
[ "$(cat "$D/t")" = kept ] || fail "link target written"
# A full disk: the started record not written, the run stopped before the first block frame;
# once there is room again, the next run's records start on lines of their own.
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    unshare -m bash -s "$SIM" "$D" <<'FULL' || fail "full disk: $(cat "$D/err")"
F=$2/full
mkdir "$F" && mount -t tmpfs -o size=8k tmpfs "$F" && head -c 4000 /dev/zero | tr '\0' x >"$F/h"
cat /dev/zero >"$F/fill" 2>/dev/null
setsid "$1" --fast --history "$F/h" --report "$2/r" </dev/null >/dev/null 2>"$2/err"
[ $? = 1 ] && grep -q '"frames": 0,' "$2/r" && grep -qx "ciflash-sim: the update history was \
not written to $F/h: the disk is full; nothing was sent to the module" "$2/err" && rm "$F/fill" &&
    setsid "$1" --fast --history "$F/h" </dev/null >/dev/null &&
    [ "$(cut -c1-12 "$F/h" | xargs -d '\n')" = \
        'xxxxxxxxxxxx {"record":"s {"record":"s {"record":"e' ] &&
    [ "$(tail -2 "$F/h" | grep -c '}$')" = 2 ]
FULL
else
    echo "SKIPPED: a full disk (a tmpfs mounted with unshare -m needs root)"
fi
# Records flushed, and a new file's folder.
strace -qq -e trace=write,fsync -o "$D/st" "$SIM" --fast --history "$D/h" </dev/null >/dev/null
[ "$(sed -nE 's/^write.*record..:..([a-z]+).*/\1/p; s/^fsync.*/fsync/p' "$D/st" | xargs)" = \
    "fsync started fsync ended fsync" ] || fail flushes
exit $status
