#!/usr/bin/env bash
# End-to-end tests of ciflash-sim in a real terminal. Usage: e2e_test.sh CASE PATH-TO-CIFLASH-SIM
. "$(dirname "$0")/tmux_lib.sh"
CASE=$1
BIN=$2
BANNER_START=" RIV IZEVEZ EDURAVA ZUZERA V6.00   "

case "$CASE" in
no_module_prompt)
    start "$BIN --no-module --fast"
    wait_for "EXIT WITH 'Q'"
    expect_eq "$(row 1 | cut -c1-35)" "$BANNER_START" "banner"
    expect_row 3 " INITIALISATION"
    expect_row 15 " PLEASE, INSERT A DVB MODULE"
    expect_row 16 " AND WAIT FOR THE BEEPS BEFORE PRESSING 'SPACE BAR'"
    expect_row 24 " EXIT WITH 'Q'"
    before=$(screen_text)
    keys a b c Enter F5 Up Tab
    sleep 0.3
    expect_eq "$(screen_text)" "$before" "screen after keys that do nothing"
    keys q
    expect_eq "$(exit_code)" 0 "exit code after Q"
    # The screen stays; the shell prompt comes below it, never over it.
    wait_for "PROMPT>"
    screen_text | grep -qF " PLEASE, INSERT A DVB MODULE" || fail "screen not kept after the end"
    last_program_row=$(screen_text | grep -nF " EXIT WITH 'Q'" | cut -d: -f1)
    first_prompt_row=$(screen_text | grep -nF "PROMPT>" | tail -n 1 | cut -d: -f1)
    [ "$first_prompt_row" -gt "$last_program_row" ] || fail "prompt over the screen"
    expect_terminal_restored
    ;;
full_run)
    start "$BIN --fast --report $E2E_DIR/report.json"
    wait_for "UPDATE SUCCESSFULL. "
    expect_row 15 " UPDATE SUCCESSFULL."
    expect_row 24 " EXIT WITH 'Q'"
    expect_eq "$(screen_text | grep -c .)" 3 "rows on the success screen"
    keys Space Space
    sleep 0.2
    [ ! -s "$E2E_DIR/code" ] || fail "SPACE ended the program"
    keys Escape
    expect_eq "$(exit_code)" 0 "exit code after ESC"
    grep -q '"matches_image": true}.*' "$E2E_DIR/report.json" || fail "report: $(cat "$E2E_DIR/report.json")"
    expect_eq "$(grep -o '"matches_image": true' "$E2E_DIR/report.json" | wc -l)" 2 "pages matching"
    grep -q '"frames_after_error": 0,' "$E2E_DIR/report.json" || fail "frames after an error"
    grep -q '"protocol_errors": \[$' "$E2E_DIR/report.json" && grep -q '^  \]$' "$E2E_DIR/report.json" ||
        fail "protocol errors: $(cat "$E2E_DIR/report.json")"
    expect_terminal_restored
    ;;
refused_processor)
    start "$BIN --fast --processor 52"
    wait_for "Wrong processor !!!"
    expect_eq "$(exit_code)" 1 "exit code"
    expect_row 18 " BIOS REVISION: 1.07"
    expect_row 19 " PROCESSOR VERSION: 52"
    expect_row 20 " Wrong processor !!!"
    expect_row 21 "  Contact Zolvant Technical Support"
    expect_terminal_restored
    ;;
error_reply)
    start "$BIN --fast --reply 1:17:6581 --report $E2E_DIR/report.json"
    wait_for "Critical Flash memory error "
    expect_row 3 " Critical Flash memory error"
    expect_row 4 " Contact Zolvant technical support!!!"
    expect_row 20 " Exit: ESC"
    keys q Q Space
    sleep 0.2
    [ ! -s "$E2E_DIR/code" ] || fail "a key other than ESC left the error screen"
    keys Escape
    wait_for "UPDATE ERROR !!!"
    expect_row 20 " UPDATE ERROR !!!"
    keys Escape
    expect_eq "$(exit_code)" 0 "exit code"
    grep -q '"frames_after_error": 0,' "$E2E_DIR/report.json" || fail "frames after an error"
    ;;
*)
    echo "unknown case $CASE" >&2
    exit 2
    ;;
esac
echo "PASS: $CASE"
