# Runs in a tmux pane (80x25 unless given); each wait fails after E2E_WAIT (30) s; any way out
# kills the pane's session.
set -euo pipefail

E2E_SOCKET="ciflash-e2e-$$"
E2E_DIR=$(mktemp -d)
export CIFLASH_LOCK=$E2E_DIR/lock
tm() { tmux -L "$E2E_SOCKET" "$@"; }
stop_pane() {
    local sid
    sid=$(tm list-panes -F '#{pane_pid}') && pkill -9 -s "$sid"
    tm kill-server || true
} 2>/dev/null
e2e_cleanup() { stop_pane; rm -rf "$E2E_DIR"; }
trap e2e_cleanup EXIT

fail() { printf 'FAIL: %s\n--- screen ---\n' "$*" >&2; screen_text >&2 || true; exit 1; }
until_ok() {
    local end=$((SECONDS + ${E2E_WAIT:-30}))
    until "${@:2}"; do ((SECONDS < end)) || fail "timed out waiting for: $1"; sleep 0.05; done
}

start() {
    stop_pane
    rm -f "$E2E_DIR/code"
    tm -f /dev/null new-session -d -x "${2:-80}" -y "${3:-25}" -s e2e \
        "env PS1='PROMPT> ' TERM=xterm-256color bash --norc --noprofile -i"
    tm set-option -g status off
    wait_for 'PROMPT>'
    printf 'trap : INT TSTP\n%s\necho "EXIT=$?" > %s/code\n' "$1" "$E2E_DIR" >"$E2E_DIR/run.sh"
    keys "clear; sh $E2E_DIR/run.sh" Enter
}

keys() { tm send-keys -t e2e "$@"; }
# Trailing blanks kept (-N): some messages end in one.
screen_text() { tm capture-pane -p -N -t e2e; }
program_pid() {
    local pid child
    pid=$(pgrep -P "$(tm list-panes -F '#{pane_pid}')" -x sh)
    while child=$(pgrep -P "$pid" | head -n 1); [ -n "$child" ]; do pid=$child; done
    echo "$pid"
}
signal() { kill -"$1" "$(program_pid)"; }

# Row N counted from the banner.
row() {
    local banner
    banner=$(screen_text | grep -n "^ RIV IZEVEZ" | head -n 1 | cut -d: -f1)
    screen_text | sed -n "$(($1 + ${banner:-2} - 1))p" | sed 's/[[:space:]]*$//'
}

on_screen() { screen_text | grep -qF -- "$1"; }
wait_for() { until_ok "$1" on_screen "$1"; }
exit_code() { until_ok "the end" test -s "$E2E_DIR/code"; sed 's/EXIT=//' "$E2E_DIR/code"; }

expect_eq() { [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"; }
expect_row() { expect_eq "$(row "$1")" "$2" "row $1"; }

expect_terminal_restored() {
    keys "stty -a >$E2E_DIR/s && mv $E2E_DIR/s $E2E_DIR/stty" Enter
    until_ok stty test -s "$E2E_DIR/stty"
    ! grep -qE -- '-(icanon|echo)( |$)' "$E2E_DIR/stty" || fail "icanon or echo left off"
}
