#!/usr/bin/env bash
# ciflash-sim in a real terminal; for the lock, the hardware program under ciflash-rehearse.
# Usage: e2e_test.sh CASE CIFLASH-SIM [CIFLASH-REHEARSE CIFLASH-STANDIN]. The cases sent
# something during the write run in real time (REAL), so that it arrives while page 0 is written.
. "$(dirname "$0")/tmux_lib.sh"
CASE=$1 REHEARSE=${3:-} STANDIN=${4:-}
SIM="$2 --fast --report $E2E_DIR/report.json"
REAL="$2 --block-ms 0 --report $E2E_DIR/report.json"
WRITING="Update code page 0 under process"
DONE="UPDATE SUCCESSFULL. "

# The module saw no protocol error and no frame after an error; N pages match the images.
expect_report() {
    grep -q '"frames_after_error": 0,' "$E2E_DIR/report.json" || fail "frames after an error"
    grep -Pzq '"protocol_errors": \[\n  \]' "$E2E_DIR/report.json" || fail "protocol errors"
    expect_eq "$(grep -c '"matches_image": true' "$E2E_DIR/report.json")" "$1" "pages matching"
}
ended() { expect_eq "$(exit_code)" "$1" "exit code"; }
# The screen stays when the program ends; the shell prompt comes below it.
expect_prompt_below() {
    wait_for "PROMPT> "
    screen_text | sed -n "/ EXIT WITH 'Q'/,\$p" | grep -q 'PROMPT>' || fail "prompt over the screen"
}
# held SEND CODE: SEND (keys or a signal) during the write does not cut it short: the success
# screen comes, then the end with CODE (after ESC for 0).
held() {
    start "$REAL"
    wait_for "$WRITING"
    $1
    wait_for "$DONE"
    [ "$2" != 0 ] || keys Escape
    ended "$2"
    expect_row 15 " UPDATE SUCCESSFULL."
    expect_report 2
}
# A terminal of COLUMNS x ROWS is refused before anything is drawn.
too_small() {
    start "$SIM" "$1" "$2"
    ended 1
    wait_for "ciflash-sim: the terminal is $1x$2; the screens need at least 80x25."
    ! on_screen "RIV IZEVEZ" || fail "drawn in a terminal too small"
}
# A second hardware program, without a terminal, while the pane's one holds the reader.
second_refused() {
    local code=0
    setsid "$REHEARSE" --no-module -- "$STANDIN" </dev/null >/dev/null 2>"$E2E_DIR/err" || code=$?
    expect_eq "$code $(head -n 1 "$E2E_DIR/err")" \
        "1 ciflash: another ciflash (process $(program_pid)) is using the reader." "second ciflash"
}
# As under nohup: hang-up stays ignored, and the key read finds no terminal and ends the run.
nohup_run() {
    setsid nohup $REAL "$@" </dev/null >"$E2E_DIR/out" 2>&1 &
    local pid=$! code=0
    trap 'kill -KILL -- -'$pid' 2>/dev/null || true; e2e_cleanup' EXIT
    until_ok "$WRITING" grep -qF "$WRITING" "$E2E_DIR/out"
    kill -HUP "$pid"
    wait "$pid" || code=$?
    expect_eq "$code" 0 "exit code under nohup"
    grep -qF "UPDATE ERROR !!!" "$E2E_DIR/out" || fail "no outcome: $(cat "$E2E_DIR/out")"
}

found=
while IFS='|' read -r name step; do
    [ "$name" = "$CASE" ] || continue
    found=1
    eval "$step"
done <<'TABLE'
no_module_prompt|start "$SIM --no-module"; wait_for "EXIT WITH 'Q'"; expect_row 24 " EXIT WITH 'Q'"
no_module_prompt|expect_eq "$(row 1 | cut -c1-35)" " RIV IZEVEZ EDURAVA ZUZERA V6.00   " banner; expect_row 15 " PLEASE, INSERT A DVB MODULE"
no_module_prompt|keys a b c Enter F5 Up Tab q; ended 0; expect_row 20 ""; expect_prompt_below
full_run|start "$SIM"; wait_for "$DONE"; expect_row 15 " UPDATE SUCCESSFULL."
full_run|expect_eq "$(screen_text | grep -c .)" 3 "rows on the success screen"; keys Space Space Escape; ended 0; expect_report 2
refused_processor|start "$SIM --processor 52"; ended 1; expect_row 20 " Wrong processor !!!"; expect_row 21 "  Contact Zolvant Technical Support"
error_reply|start "$SIM --reply 1:17:6581"; wait_for "Critical Flash memory error "; expect_row 20 " Exit: ESC"
error_reply|keys q Q Space Escape; wait_for "UPDATE ERROR !!!"; keys Escape; ended 4; expect_report 1
error_q|start "$SIM --reply 1:17:6581"; wait_for "Exit: ESC"; keys Escape; wait_for "UPDATE ERROR !!!"; keys q; ended 4
held_term|held "signal TERM" 143
held_usr1|held "signal USR1" 138
held_alrm|held "signal ALRM" 142
held_stop|held "keys C-s C-z" 0
held_error|start "$REAL --reply 0:150:6400"; wait_for "$WRITING"; signal HUP; ended 129; expect_row 3 " Flash memory error"
esc_wait|start "$SIM --reply 1:17:6400"; wait_for "Exit: ESC"; signal INT; ended 130; expect_row 3 " Flash memory error"
prompt|start "$SIM --no-module"; wait_for "EXIT WITH 'Q'"; signal INT; ended 130
nohup|nohup_run --reply 0:150:6400; expect_report 0
size_79x25|too_small 79 25
size_80x24|too_small 80 24
shrink|start "$REAL"; wait_for "$WRITING"; tm resize-window -t e2e -x 60 -y 15; wait_for "$DONE"
shrink|expect_row 5 " UPDATE SUCCESSFULL."; expect_row 14 " EXIT WITH 'Q'"; keys Escape; ended 0
lock|start "$REHEARSE --no-module -- $STANDIN"; wait_for "EXIT WITH 'Q'"; second_refused; keys q; ended 0
TABLE
[ -n "$found" ] || { echo "unknown case $CASE" >&2; exit 2; }
[ "$CASE" = nohup ] || expect_terminal_restored
echo "PASS: $CASE"
