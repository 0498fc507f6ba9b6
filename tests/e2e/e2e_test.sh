#!/usr/bin/env bash
# End-to-end runs of ciflash-sim in a real terminal, one case of the table below per call.
# Usage: e2e_test.sh CASE PATH-TO-CIFLASH-SIM. Each line of the table is one step of a case.
. "$(dirname "$0")/tmux_lib.sh"
CASE=$1
SIM="$2 --fast --report $E2E_DIR/report.json"

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
TABLE
[ -n "$found" ] || { echo "unknown case $CASE" >&2; exit 2; }
echo "PASS: $CASE"
