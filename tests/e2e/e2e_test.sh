#!/usr/bin/env bash
# ciflash-sim in a real terminal. Usage: e2e_test.sh CASE PATH-TO-CIFLASH-SIM. The signal cases
# run in real time (REAL), so a signal sent once page 0 is being written arrives during the write.
. "$(dirname "$0")/tmux_lib.sh"
CASE=$1
SIM="$2 --fast --report $E2E_DIR/report.json"
REAL="$2 --block-ms 0 --report $E2E_DIR/report.json"
WRITING="Update code page 0 under process"

# Nothing changes on the screen, and the program goes on, after keys that do nothing.
expect_still() {
    local before
    before=$(screen_text)
    keys "$@"
    sleep 0.3
    expect_eq "$(screen_text)" "$before" "screen after keys that do nothing"
    [ ! -s "$E2E_DIR/code" ] || fail "keys that do nothing ended the program"
}
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
# As under nohup: hang-up stays ignored, and the key read finds no terminal and ends the run.
nohup_run() {
    setsid nohup $REAL "$@" </dev/null >"$E2E_DIR/out" 2>&1 &
    local pid=$! code=0
    for _ in $(seq 1 600); do grep -qF "$WRITING" "$E2E_DIR/out" && break; sleep 0.1; done
    kill -HUP "$pid"
    wait "$pid" || code=$?
    expect_eq "$code" 4 "exit code under nohup"
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
no_module_prompt|expect_still a b c Enter F5 Up Tab; keys q; ended 0; expect_prompt_below
full_run|start "$SIM"; wait_for "UPDATE SUCCESSFULL. "; expect_row 15 " UPDATE SUCCESSFULL."
full_run|expect_eq "$(screen_text | grep -c .)" 3 "rows on the success screen"; expect_still Space Space; keys Escape; ended 0; expect_report 2
refused_processor|start "$SIM --processor 52"; ended 1; expect_row 20 " Wrong processor !!!"; expect_row 21 "  Contact Zolvant Technical Support"
error_reply|start "$SIM --reply 1:17:6581"; wait_for "Critical Flash memory error "; expect_row 20 " Exit: ESC"
error_reply|expect_still q Q Space; keys Escape; wait_for "UPDATE ERROR !!!"; keys Escape; ended 4; expect_report 1
held_success|start "$REAL"; wait_for "$WRITING"; signal TERM; ended 143; expect_report 2
held_success|expect_row 15 " UPDATE SUCCESSFULL."
held_error|start "$REAL --reply 0:150:6400"; wait_for "$WRITING"; signal HUP; ended 129; expect_row 3 " Flash memory error"
esc_wait|start "$SIM --reply 1:17:6400"; wait_for "Exit: ESC"; signal INT; ended 130; expect_row 3 " Flash memory error"
prompt|start "$SIM --no-module"; wait_for "EXIT WITH 'Q'"; signal INT; ended 130
nohup|nohup_run --reply 0:150:6400; expect_report 0
TABLE
[ -n "$found" ] || { echo "unknown case $CASE" >&2; exit 2; }
[ "$CASE" = nohup ] || expect_terminal_restored
echo "PASS: $CASE"
