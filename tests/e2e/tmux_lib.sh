# Helpers for runs in a real terminal: tmux runs the program in an 80x25 pane, keys are typed
# with send-keys, and the pane is read back with capture-pane.
set -euo pipefail

E2E_SOCKET="ciflash-e2e-$$"
E2E_DIR=$(mktemp -d)
e2e_cleanup() { tmux -L "$E2E_SOCKET" kill-server 2>/dev/null || true; rm -rf "$E2E_DIR"; }
trap e2e_cleanup EXIT

fail() { printf 'FAIL: %s\n--- screen ---\n' "$*" >&2; screen_text >&2 || true; exit 1; }

# Runs the command from an interactive shell in a new pane, so that what the shell prints after
# it is seen too, through a plain sh that writes its exit code to $E2E_DIR/code (trapping INT).
start() {
    tmux -L "$E2E_SOCKET" kill-server 2>/dev/null || true
    rm -f "$E2E_DIR/code"
    tmux -L "$E2E_SOCKET" -f /dev/null new-session -d -x 80 -y 25 -s e2e \
        "env PS1='PROMPT> ' TERM=xterm-256color bash --norc --noprofile -i"
    tmux -L "$E2E_SOCKET" set-option -g status off
    wait_for 'PROMPT>'
    printf 'trap : INT\n%s\necho "EXIT=$?" > %s/code\n' "$*" "$E2E_DIR" > "$E2E_DIR/run.sh"
    tmux -L "$E2E_SOCKET" send-keys -t e2e "clear; sh $E2E_DIR/run.sh" Enter
}

keys() { tmux -L "$E2E_SOCKET" send-keys -t e2e "$@"; }
# The pane's text, trailing blanks kept (-N): some messages end in one.
screen_text() { tmux -L "$E2E_SOCKET" capture-pane -p -N -t e2e; }
# Sends the signal to the program: the last of the first children down from the pane's sh.
signal() {
    local pid child
    pid=$(pgrep -P "$(tmux -L "$E2E_SOCKET" list-panes -t e2e -F '#{pane_pid}')" -x sh)
    while child=$(pgrep -P "$pid" | head -n 1); [ -n "$child" ]; do pid=$child; done
    kill -"$1" "$pid"
}

# Row N of the program's screen without trailing blanks, counted from the banner (the prompt may scroll).
row() {
    local banner
    banner=$(screen_text | grep -n "^ RIV IZEVEZ" | head -n 1 | cut -d: -f1)
    screen_text | sed -n "$(($1 + ${banner:-2} - 1))p" | sed 's/[[:space:]]*$//'
}

# Within 60 s of real time: wait_for the text on the pane; exit_code prints the program's.
wait_for() {
    for _ in $(seq 1 600); do screen_text 2>/dev/null | grep -qF -- "$1" && return 0; sleep 0.1; done
    fail "timed out waiting for: $1"
}
exit_code() {
    for _ in $(seq 1 600); do [ -s "$E2E_DIR/code" ] && { sed 's/EXIT=//' "$E2E_DIR/code"; return 0; }; sleep 0.1; done
    fail "the program did not end"
}

expect_eq() { [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"; }
expect_row() { expect_eq "$(row "$1")" "$2" "row $1"; }

# The terminal is usable again: echo and canonical mode are back on.
expect_terminal_restored() {
    keys "stty -a > $E2E_DIR/stty" Enter
    for _ in $(seq 1 100); do [ -s "$E2E_DIR/stty" ] && break; sleep 0.1; done
    grep -qE '(^| )icanon( |$)' "$E2E_DIR/stty" || fail "canonical mode left off"
    grep -qE '(^| )echo( |$)' "$E2E_DIR/stty" || fail "echo left off"
}
