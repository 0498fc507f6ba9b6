#!/usr/bin/env bash
# Signals against ciflash-sim. A signal held back while blocks are written lets the outcome
# screen be drawn, then ends the program with 128+n without a key; outside the write it ends
# the program at once; a signal ignored at start stays ignored.
# Usage: signal_test.sh CASE SIGNAL PATH-TO-CIFLASH-SIM
. "$(dirname "$0")/tmux_lib.sh"
CASE=$1
SIG=$2
BIN=$3
REPORT=$E2E_DIR/report.json

program_pid() {
    local shell_pid
    shell_pid=$(tmux -L "$E2E_SOCKET" list-panes -t e2e -F '#{pane_pid}')
    pgrep -P "$(pgrep -P "$shell_pid" -x sh)" -f ciflash-sim | head -n 1
}

pages_matching() { grep -o '"matches_image": true' "$REPORT" | wc -l; }

# In the terminal: runs with OPTIONS, sends the signal once WHEN shows, and expects the exit
# code 128+n, a line reading TEXT on the screen left behind and, unless PAGES is empty, that
# many pages equal to their images.
in_terminal() {
    local options=$1 when=$2 text=$3 pages=$4
    start "$BIN $options --report $REPORT"
    wait_for "$when"
    kill -"$SIG" "$(program_pid)"
    expect_eq "$(exit_code)" $((128 + $(kill -l "$SIG"))) "exit code"
    screen_text | sed 's/[[:space:]]*$//' | grep -qxF -- "$text" || fail "no line '$text'"
    [ -z "$pages" ] || expect_eq "$(pages_matching)" "$pages" "pages written"
    expect_terminal_restored
}

# Real time (--block-ms 0): the write takes seconds, and the signal comes while page 0 is written.
WRITING="Update code page 0 under process"
case "$CASE" in
held_success) in_terminal "--block-ms 0" "$WRITING" " UPDATE SUCCESSFULL." 2 ;;
held_error) in_terminal "--block-ms 0 --reply 1:17:6400" "$WRITING" " Flash memory error" 1 ;;
esc_wait) in_terminal "--fast --reply 1:17:6400" "Exit: ESC" " Flash memory error" "" ;;
prompt) in_terminal "--no-module --fast" "EXIT WITH 'Q'" " PLEASE, INSERT A DVB MODULE" "" ;;
nohup)
    # Without a terminal: the outcome is drawn as text, and the first key read finds no
    # terminal and ends the run normally.
    setsid nohup "$BIN" --block-ms 0 --report "$REPORT" </dev/null >"$E2E_DIR/out" 2>&1 &
    pid=$!
    for _ in $(seq 1 600); do grep -qF "$WRITING" "$E2E_DIR/out" && break; sleep 0.1; done
    kill -"$SIG" "$pid"
    code=0
    wait "$pid" || code=$?
    expect_eq "$code" 0 "exit code"
    grep -qF "UPDATE SUCCESSFULL. " "$E2E_DIR/out" || fail "no outcome: $(cat "$E2E_DIR/out")"
    expect_eq "$(pages_matching)" 2 "pages written"
    ;;
*)
    echo "unknown case $CASE" >&2
    exit 2
    ;;
esac
echo "PASS: $CASE $SIG"
