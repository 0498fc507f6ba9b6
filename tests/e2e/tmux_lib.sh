# Helpers for runs in a real terminal: tmux runs the program in a pane (80x25 unless given),
# keys are typed with send-keys, and the pane is read back with capture-pane. Every wait polls
# for its event and fails at a deadline 90 s after the start, before ctest's own time-out; on
# any way out the pane's session is killed, the program with it, and the server stopped.
set -euo pipefail

E2E_SOCKET="ciflash-e2e-$$"
E2E_DIR=$(mktemp -d)
E2E_END=$((SECONDS + 90))
export CIFLASH_LOCK=$E2E_DIR/lock
tm() { tmux -L "$E2E_SOCKET" "$@"; }
pane_pid() { tm list-panes -t e2e -F '#{pane_pid}' 2>/dev/null; }
stop_pane() { pkill -KILL -s "$(pane_pid)" 2>/dev/null || true; tm kill-server 2>/dev/null || true; }
e2e_cleanup() { stop_pane; rm -rf "$E2E_DIR"; }
trap e2e_cleanup EXIT

fail() { printf 'FAIL: %s\n--- screen ---\n' "$*" >&2; screen_text >&2 || true; exit 1; }
# until_ok WHAT COMMAND...: polls COMMAND until it succeeds; fails naming WHAT at the deadline.
until_ok() {
    local what=$1
    shift
    until "$@"; do ((SECONDS < E2E_END)) || fail "timed out waiting for: $what"; sleep 0.05; done
}

# start COMMAND [COLUMNS ROWS]: runs the command from an interactive shell in a new pane, so
# that what the shell prints after it is seen too, through a plain sh that writes its exit code
# to $E2E_DIR/code (catching INT and TSTP, which its child gets back at their defaults).
start() {
    stop_pane
    rm -f "$E2E_DIR/code"
    tm -f /dev/null new-session -d -x "${2:-80}" -y "${3:-25}" -s e2e \
        "env PS1='PROMPT> ' TERM=xterm-256color bash --norc --noprofile -i"
    tm set-option -g status off
    wait_for 'PROMPT>'
    printf 'trap : INT TSTP\n%s\necho "EXIT=$?" > %s/code\n' "$1" "$E2E_DIR" >"$E2E_DIR/run.sh"
    tm send-keys -t e2e "clear; sh $E2E_DIR/run.sh" Enter
}

keys() { tm send-keys -t e2e "$@"; }
# The pane's text, trailing blanks kept (-N): some messages end in one.
screen_text() { tm capture-pane -p -N -t e2e; }
# The program's process id: the last of the first children down from the pane's sh.
program_pid() {
    local pid child
    pid=$(pgrep -P "$(pane_pid)" -x sh)
    while child=$(pgrep -P "$pid" | head -n 1); [ -n "$child" ]; do pid=$child; done
    echo "$pid"
}
signal() { kill -"$1" "$(program_pid)"; }

# Row N of the program's screen without trailing blanks, counted from the banner (the prompt may scroll).
row() {
    local banner
    banner=$(screen_text | grep -n "^ RIV IZEVEZ" | head -n 1 | cut -d: -f1)
    screen_text | sed -n "$(($1 + ${banner:-2} - 1))p" | sed 's/[[:space:]]*$//'
}

on_screen() { screen_text 2>/dev/null | grep -qF -- "$1"; }
wait_for() { until_ok "$1" on_screen "$1"; }
# The program's exit code, once it has ended.
exit_code() { until_ok "the end of the program" test -s "$E2E_DIR/code"; sed 's/EXIT=//' "$E2E_DIR/code"; }

expect_eq() { [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"; }
expect_row() { expect_eq "$(row "$1")" "$2" "row $1"; }

# The terminal is usable again: echo and canonical mode are back on.
expect_terminal_restored() {
    keys "stty -a > $E2E_DIR/stty.part && mv $E2E_DIR/stty.part $E2E_DIR/stty" Enter
    until_ok "stty" test -s "$E2E_DIR/stty"
    grep -qE '(^| )icanon( |$)' "$E2E_DIR/stty" || fail "canonical mode left off"
    grep -qE '(^| )echo( |$)' "$E2E_DIR/stty" || fail "echo left off"
}
