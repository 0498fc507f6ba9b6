#!/usr/bin/env bash
# Runs of ciflash-sim with --history, no terminal: the records each ending leaves.
SIM=$1 D=$(mktemp -d) status=0 pid=
trap '[ -z "$pid" ] || kill -9 $pid; rm -rf "$D"' EXIT
fail() { echo "FAIL: $*" && status=1; }
start() { setsid "$SIM" --history "$D/h" "$@" </dev/null >/dev/null 2>"$D/err" & pid=$!; }
until_ok() { for _ in $(seq 200); do "$@" && return; sleep 0.05; done; fail "never $*"; }
read -r S0 S1 < <("$SIM" --version | sed -n 's/.*SHA-256 //p' | xargs)
# check CODE KINDS TEXT...: exit code (a pattern), record kinds, texts of the last one.
check() {
    local code=$1 kinds=$2 got
    wait $pid
    got=$? pid=
    shift 2
    [[ $got == $code && $(cut -c12-16 "$D/h" | xargs) == "$kinds" ]] || fail "$got $kinds"
    [ "$kinds" = start ] || set -- "$@" "\"exit_code\":$got"
    for t; do tail -1 "$D/h" | grep -qF -- "$t" || fail "no $t: $(cat "$D/h")"; done
    [ ! -s "$D/err" ] || fail "$(cat "$D/err")"
    rm "$D/h"
}
start --fast --report "$D/report"
check 0 "start ended" '"success","blocks":[236,234]'
start --fast --reply 0:3:6581
check 4 "start ended" '"Critical Flash memory error ","blocks":[2,0]'
start --fast --processor 52
check 1 ended '"Wrong processor !!!"' '"processor":"52"}' "$S0"
start --free-never
until_ok grep -qE 'SigCgt:.*[4-7c-f]...$' /proc/$pid/status # SIGTERM caught
kill -TERM $pid
check 143 ended '"signal 15","blocks":[0,0]'
start --hang 0:1
until_ok grep -qs started "$D/h"
kill -9 $pid
check 137 start '"0x300","buffer":256,"frame_mode":1,"module":{"bios_revision":"1.07"' \
    "\"$S0\"},{" "\"$S1\"}]"
# An unwritable history: the same run, then one line on standard error.
for bad in "$D" "$D/none/h"; do
    setsid "$SIM" --fast --history "$bad" --report "$D/r" </dev/null >/dev/null 2>"$D/err" &&
        cmp "$D/report" "$D/r" && [ "$(wc -l <"$D/err")" = 1 ] &&
        grep -qx "ciflash: the update history was not written to $bad: [A-Za-z ]*" "$D/err" ||
        fail "$bad $(cat "$D/err")"
done
# Records flushed, and a new file's folder.
strace -qq -e trace=write,fsync -o "$D/st" "$SIM" --fast --history "$D/h" </dev/null >/dev/null
[ "$(sed -nE 's/^write.*record..:..([a-z]+).*/\1/p; s/^fsync.*/fsync/p' "$D/st" | xargs)" = \
    "started fsync fsync ended fsync" ] || fail flushes
exit $status
