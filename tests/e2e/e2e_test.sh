#!/usr/bin/env bash
# End-to-end runs of ciflash-sim in a real terminal, one case of the table below per call.
# Usage: e2e_test.sh CASE PATH-TO-CIFLASH-SIM. Each line of the table is one step of a case.
# The signal cases run in real time (REAL): the write takes seconds, so a signal sent once
# "Update code page 0" shows arrives during it.
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
# The screen stays when the program ends; the shell prompt comes below it.
expect_prompt_below() {
    wait_for "PROMPT> "
    [ "$(screen_text | grep -n 'PROMPT>' | tail -n 1 | cut -d: -f1)" -gt \
        "$(screen_text | grep -nF " EXIT WITH 'Q'" | cut -d: -f1)" ] || fail "prompt over the screen"
}

# Sends the signal to the program running in the pane.
signal() {
    local shell_pid
    shell_pid=$(tmux -L "$E2E_SOCKET" list-panes -t e2e -F '#{pane_pid}')
    kill -"$1" "$(pgrep -P "$(pgrep -P "$shell_pid" -x sh)" -f ciflash-sim | head -n 1)"
}
# Without a terminal, as under nohup: hang-up is ignored from the start and stays ignored; the
# first key read finds no terminal and ends the run normally.
nohup_run() {
    setsid nohup $REAL "$@" </dev/null >"$E2E_DIR/out" 2>&1 &
    local pid=$! code=0
    for _ in $(seq 1 600); do grep -qF "$WRITING" "$E2E_DIR/out" && break; sleep 0.1; done
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
no_module_prompt|start "$SIM --no-module"
no_module_prompt|wait_for "EXIT WITH 'Q'"
no_module_prompt|expect_eq "$(row 1 | cut -c1-35)" " RIV IZEVEZ EDURAVA ZUZERA V6.00   " banner
no_module_prompt|expect_row 15 " PLEASE, INSERT A DVB MODULE"
no_module_prompt|expect_row 24 " EXIT WITH 'Q'"
no_module_prompt|expect_still a b c Enter F5 Up Tab
no_module_prompt|keys q
no_module_prompt|expect_eq "$(exit_code)" 0 "exit code after Q"
no_module_prompt|expect_prompt_below
no_module_prompt|expect_terminal_restored
full_run|start "$SIM"
full_run|wait_for "UPDATE SUCCESSFULL. "
full_run|expect_row 15 " UPDATE SUCCESSFULL."
full_run|expect_eq "$(screen_text | grep -c .)" 3 "rows on the success screen"
full_run|expect_still Space Space
full_run|keys Escape
full_run|expect_eq "$(exit_code)" 0 "exit code after ESC"
full_run|expect_report 2
full_run|expect_terminal_restored
refused_processor|start "$SIM --processor 52"
refused_processor|expect_eq "$(exit_code)" 1 "exit code"
refused_processor|expect_row 20 " Wrong processor !!!"
refused_processor|expect_row 21 "  Contact Zolvant Technical Support"
refused_processor|expect_terminal_restored
error_reply|start "$SIM --reply 1:17:6581"
error_reply|wait_for "Critical Flash memory error "
error_reply|expect_row 20 " Exit: ESC"
error_reply|expect_still q Q Space
error_reply|keys Escape
error_reply|wait_for "UPDATE ERROR !!!"
error_reply|keys Escape
error_reply|expect_eq "$(exit_code)" 0 "exit code"
error_reply|expect_report 1
write_error_kept|start "$SIM --write-error-kept 1:3"
write_error_kept|wait_for "UPDATE SUCCESSFULL. "
write_error_kept|keys Escape
write_error_kept|expect_eq "$(exit_code)" 0 "exit code"
write_error_kept|expect_report 2
held_success|start "$REAL"
held_success|wait_for "$WRITING"
held_success|signal TERM
held_success|expect_eq "$(exit_code)" 143 "exit code of a held terminate"
held_success|expect_row 15 " UPDATE SUCCESSFULL."
held_success|expect_report 2
held_success|expect_terminal_restored
held_error|start "$REAL --reply 0:150:6400"
held_error|wait_for "$WRITING"
held_error|signal HUP
held_error|expect_eq "$(exit_code)" 129 "exit code of a held hang-up"
held_error|expect_row 3 " Flash memory error"
held_error|expect_terminal_restored
esc_wait|start "$SIM --reply 1:17:6400"
esc_wait|wait_for "Exit: ESC"
esc_wait|signal INT
esc_wait|expect_eq "$(exit_code)" 130 "exit code of an interrupt at the ESC wait"
esc_wait|expect_row 3 " Flash memory error"
esc_wait|expect_terminal_restored
prompt|start "$SIM --no-module"
prompt|wait_for "EXIT WITH 'Q'"
prompt|signal INT
prompt|expect_eq "$(exit_code)" 130 "exit code of an interrupt at the prompt"
prompt|expect_terminal_restored
nohup|nohup_run --reply 0:150:6400
nohup|expect_report 0
TABLE
[ -n "$found" ] || { echo "unknown case $CASE" >&2; exit 2; }
echo "PASS: $CASE"
