#!/usr/bin/env bash
# e2e_test.sh CASE CIFLASH-SIM [CIFLASH-REHEARSE CIFLASH-STANDIN]
. "$(dirname "$0")/tmux_lib.sh"
CASE=$1 R=$E2E_DIR/report.json H="${3:-} --no-module -- ${4:-}"
SIM="$2 --fast --report $R" REAL="$2 --block-ms 0 --report $R"
W="Update code page 0 under process" OK="UPDATE SUCCESSFULL. " KO="UPDATE ERROR !!!"

ended() { expect_eq "$(exit_code)" "$1" "exit code"; }
held() {
    start "$REAL"
    wait_for "$W"
    $1
    on_screen "under process" || fail "sent after the write"
    wait_for "$OK"
    [ "$2" != 0 ] || keys Escape
    ended "$2"
    expect_row 15 " ${OK% }"
    grep -q '"frames_after_error": 0,' "$R" && grep -Pzq '"protocol_errors": \[\n  \]' "$R" &&
        [ "$(grep -c '"matches_image": true' "$R")" = 2 ] || fail "$(cat "$R")"
}
small() {
    start "$1" "$2" "$3"
    ended 1
    wait_for "the terminal is $2x$3; the screens need at least 80x25."
    ! on_screen "RIV IZEVEZ" || fail "drawn"
}
second() {
    local code=0
    setsid $H </dev/null >/dev/null 2>"$E2E_DIR/err" || code=$?
    expect_eq "$code $(head -n 1 "$E2E_DIR/err")" \
        "1 ciflash: another ciflash (process $(program_pid)) is using the reader." "second"
}
reading() { read -r n _ <"/proc/$(program_pid)/syscall" && [[ $n == 7 || $n == 271 ]]; }
# ESC typed during the write, tried again when it came with the error screen: dropped.
typed_ahead() {
    for _ in 1 2 3; do
        start "$1 --block-ms 5 --erase-ms 50 --reply 1:100:6581"
        wait_for "$W"; keys Escape
        ! on_screen "Exit: ESC" && break
    done
    wait_for "Critical Flash memory error "; until_ok "the key read" reading
    expect_row 3 " Critical Flash memory error"; expect_row 20 " Exit: ESC"
    keys Escape; wait_for "$KO"; keys q; ended 4
}
rehearsed() {
    local M="--erase-ms 0 --block-ms 0 --reply 1:17:6581" t=$E2E_DIR/t
    start "$3 $M --trace $t --report $R -- $4"
    wait_for "Exit: ESC"; keys Escape; wait_for "$KO"; keys q; ended 4
    expect_eq "$(grep -c '"ports": 4, "turn_on": true' "$R")" 5 windows
    timeout -k 5 60 setsid $2 --fast $M --trace $t.sim </dev/null &>/dev/null || true
    cmp -s <($H --version | grep page) <($2 --version | grep page) ||
        { echo "other images: no trace compared" && return; }
    cmp $t $t.sim || fail "trace differs"
}

found=
while IFS='|' read -r name step; do
    [ "$name" != "$CASE" ] || { found=1 && eval "$step"; }
done <<'TABLE'
no_module_prompt|start "$SIM --no-module"; wait_for "EXIT WITH 'Q'"
no_module_prompt|expect_row 15 " PLEASE, INSERT A DVB MODULE"; keys a b c Enter F5 Up Tab q; ended 0
no_module_prompt|wait_for "PROMPT> "; expect_row 25 "PROMPT>"
full_run|start "$SIM"; wait_for "$OK"; expect_row 15 " ${OK% }"
full_run|expect_eq "$(screen_text | grep -c .)" 3 rows; keys Space Space Escape; ended 0
held_usr1|held "signal USR1" 138
held_alrm|held "signal ALRM" 142
held_abrt|held "signal ABRT" 134
held_rtmax|held "signal RTMAX" $((128 + $(kill -l RTMAX)))
held_stop|held "keys C-z C-s" 0
size_79x25|small "$SIM" 79 25
size_80x24|small "$SIM" 80 24
size_hw|small "$H" 79 25
shrink|start "$REAL"; wait_for "$W"; tm resize-window -x 60 -y 15; wait_for "$OK"
shrink|expect_row 5 " ${OK% }"; expect_row 14 " EXIT WITH 'Q'"; keys Escape; ended 0
lock|start "$H"; wait_for "EXIT WITH 'Q'"; second; keys q; ended 0
rehearsed|rehearsed "$@"
typed_ahead|typed_ahead "$2"
TABLE
[ -n "$found" ] || { echo "unknown case $CASE" >&2; exit 2; }
expect_terminal_restored
echo "PASS: $CASE"
