#!/usr/bin/env bash
# Runs of ciflash-sim with --history: the records they leave.
SIM=$1 D=$(mktemp -d) status=0 pid=
trap '[ -z "$pid" ] || kill -9 $pid; rm -rf "$D"' EXIT
cd "$D" || exit 1
fail() { echo "FAIL: $*" && status=1; }
start() { setsid "$SIM" --history "$D/h" "$@" </dev/null >/dev/null 2>err & pid=$!; }
tty() {
    TERM=xterm setsid script -qfec "stty rows 25 cols 80; exec $SIM --history $D/h $*" /dev/null \
        <in >screen 2>err & pid=$!
}
until_ok() { for _ in $(seq 600); do "$@" && return; sleep 0.05; done; fail "never $*"; }
mkfifo in && exec 3<>in
read -r S0 S1 < <("$SIM" --version | sed -n 's/.*SHA-256 //p' | xargs)
# check CODE KINDS TEXT...: exit code (a pattern), record kinds, texts of the last one.
check() {
    local code=$1 kinds=$2 got
    wait $pid
    got=$? pid=
    shift 2
    [[ $got == $code && $(cut -c12-16 h | xargs) == "$kinds" ]] || fail "$got $kinds"
    [[ $kinds == start || $* == *exit_code* ]] || set -- "$@" "\"exit_code\":$got"
    for t; do tail -1 h | grep -qF -- "$t" || fail "no $t: $(cat h)"; done
    [ ! -s err ] || fail "$(cat err)"
    rm h
}
printf x >h # a line cut short
start --fast
check 0 "start ended" '"success","blocks":[236,234],"sent":[236,234]'
start --fast --reply 0:3:6581
check 4 "start ended" '"Critical Flash memory error ","blocks":[2,0],"sent":[3,0]'
for fault in "--reply 0:1:6400" "--reply 0:1:6481" "--hang 0:1"; do # the erasing frame sent
    start --fast $fault
    check 4 "start ended" '"blocks":[0,0],"sent":[1,0]'
done
start --fast --processor 52 --customer "$(printf '\1"\\\351')"
check 1 ended '"Wrong processor !!!"' '"customer":"?\"\\\u00e9","processor":"52"}' "$S0" \
    "\"uid\":$(id -u),"
start --free-never
until_ok grep -qE 'SigCgt:.*[4-7c-f]...$' /proc/$pid/status # SIGTERM caught
kill -TERM $pid
check 143 ended '"signal 15","blocks":[0,0],"sent":[0,0]'
start --hang 0:1 --base 0x380 # the last base probed
until_ok grep -qs started h
kill -9 $pid
check 137 start '"0x380","buffer":256,"frame_mode":1,"module":{"bios_revision":"1.07"' \
    "\"$S0\"},{" "\"$S1\"}]"
# A signal held during the write, or on the outcome's screen: outcome and exit code kept.
start --busy 0:2:3000 --reply 0:3:6581
until_ok grep -qE 'SigBlk:.*[4-7c-f]...$' /proc/$pid/status # SIGTERM held
kill -TERM $pid
check 143 "start ended" '"Critical Flash memory error "' '"exit_code":4,"signal":15}'
tty --fast
until_ok grep -q SUCCESSFULL screen
kill -HUP "$(pgrep -P $pid)"
check 129 "start ended" '"success"' '"exit_code":0,"signal":1}'
# Histories that cannot be opened: exit code 1, no port access, no file made through a link.
ln -s t link && mkfifo fifo && mkdir dir
for bad in "link|it is a symbolic link" "fifo|it is not a regular file" "dir|Is a directory"; do
    setsid "$SIM" --history "$D/${bad%|*}" --report r </dev/null >/dev/null 2>err
    [ $? = 1 ] && grep -q '"port_reads": 0,' r && [ "$(<err)" = "ciflash-sim: the update \
history $D/${bad/|/ cannot be opened: }; name another file with --history, or leave the option \
out" ] || fail "$(<err)"
done
[ ! -e t ] || fail "link followed"
# A full disk: no block frame without the started record; a cut line, then whole records.
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    unshare -m bash -s "$SIM" "$D/full" <<'FULL' || fail "full disk $(cat full.e)"
mkdir "$2" && mount -t tmpfs -o size=8k tmpfs "$2" && printf %4000s | tr ' ' x >"$2/h"
cat /dev/zero >"$2/fill" 2>/dev/null
setsid "$1" --fast --history "$2/h" --report "$2.r" </dev/null >/dev/null 2>"$2.e"
[ $? = 1 ] && grep -q '"frames": 0,' "$2.r" && grep -qx "ciflash-sim: the update history was \
not written to $2/h: the disk is full; nothing was sent to the module" "$2.e" && rm "$2/fill" &&
    setsid "$1" --fast --history "$2/h" </dev/null >/dev/null &&
    [ "$(cut -c1-12 "$2/h" | xargs -d '\n')" = \
        'xxxxxxxxxxxx {"record":"s {"record":"s {"record":"e' ]
FULL
else
    echo "SKIPPED: a full disk (a tmpfs mounted with unshare -m needs root)"
fi
# Records flushed, and a new file's folder.
strace -qq -e trace=write,fsync -o st "$SIM" --fast --history "$D/h" </dev/null >/dev/null
[ "$(sed -nE 's/^write.*record..:..([a-z]+).*/\1/p; s/^fsync.*/fsync/p' st | xargs)" = \
    "fsync started fsync ended fsync" ] || fail flushes
exit $status
