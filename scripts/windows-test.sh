#!/usr/bin/env bash
# The Windows test suite under Wine: cross-builds (scripts/windows-build.sh), runs the unit
# tests, runs ciflash-sim.exe in a terminal (tmux) through a whole update to ESC and through
# a Ctrl+C during the flash write, and checks that ciflash.exe, built with the stand-in images
# given as the real ones, explains the missing port driver and exits 1 without drawing.
# Installs the Debian packages it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/windows-env.sh

scripts/install-deps.sh wine64 tmux bsdutils
scripts/windows-build.sh
windows_wine_env build-windows

echo "== unit tests under Wine"
ctest --test-dir build-windows --output-on-failure -j2

work=$(mktemp -d)
runs=0
socket=""
end_run() { [ -z "$socket" ] || tmux -L "$socket" kill-server 2>/dev/null || true; }
trap 'end_run; "$WINESERVER" -k 2>/dev/null || true; rm -rf "$work"' EXIT
screen_text() { tmux -L "$socket" capture-pane -p -t sim; }
row() { screen_text | sed -n "$(($1 + 1))p" | sed 's/[[:space:]]*$//'; }
fail() {
    echo "FAIL: $*" >&2
    screen_text >&2 || true
    exit 1
}
# Waits up to 120 s for the condition.
wait_until() {
    for _ in $(seq 1 1200); do
        if eval "$1"; then return 0; fi
        sleep 0.1
    done
    fail "timed out waiting for: $1"
}
# Runs ciflash-sim.exe with the options given in an 80x25 terminal of its own; its exit code
# lands in $work/code.
start_sim() {
    end_run
    runs=$((runs + 1))
    socket="ciflash-wine-$$-$runs"
    rm -f "$work/code"
    tmux -L "$socket" -f /dev/null new-session -d -x 80 -y 25 -s sim \
        "$WINE build-windows/ciflash-sim.exe $*; echo \$? > $work/code; sleep 600"
    tmux -L "$socket" set-option -g status off
}
exit_code() {
    wait_until '[ -s "$work/code" ]'
    cat "$work/code"
}

echo "== ciflash-sim.exe --fast in a terminal, to the end"
start_sim --fast
# The row is compared without its trailing blank, which the terminal does not keep.
wait_until 'screen_text | grep -qF "UPDATE SUCCESSFULL."'
[ "$(row 15)" = " UPDATE SUCCESSFULL." ] || fail "row 15: '$(row 15)'"
[ "$(row 24)" = " EXIT WITH 'Q'" ] || fail "row 24: '$(row 24)'"
# Wine's terminal console hands a lone ESC to the program as a key record without its
# character, which the C runtime's key read skips; ESC twice arrives as Alt+ESC, code 27.
tmux -L "$socket" send-keys -t sim Escape Escape
[ "$(exit_code)" = 0 ] || fail "exit code $(cat "$work/code") after ESC"
echo "ok: UPDATE SUCCESSFULL. shown, exit code 0 after ESC"

echo "== ciflash-sim.exe in real time, Ctrl+C while the flash is written"
start_sim --report "$work/report.json"
wait_until 'screen_text | grep -qF "Block Number = 0"'
tmux -L "$socket" send-keys -t sim C-c
# The update goes on to its end; then the process ends as Ctrl+C ends it (STATUS_CONTROL_C_EXIT,
# 0xC000013A, whose low byte Wine passes on).
[ "$(exit_code)" = 58 ] || fail "exit code $(cat "$work/code") after Ctrl+C"
[ "$(grep -c '"matches_image": true' "$work/report.json")" = 2 ] ||
    fail "flash not written to its end: $(cat "$work/report.json")"
echo "ok: both pages written, then exit code 0xC000013A"

echo "== ciflash.exe without the port driver"
scripts/windows-build.sh -B build-windows-hardware -DCIFLASH_TESTS=OFF \
    -DCIFLASH_PAGE0_IMAGE="$PWD/protocol/images/standin_page0.bin" \
    -DCIFLASH_PAGE1_IMAGE="$PWD/protocol/images/standin_page1.bin"
code=0
"$WINE" build-windows-hardware/ciflash.exe >"$work/out" 2>"$work/err" </dev/null || code=$?
cat "$work/err"
[ "$code" -eq 1 ] || fail "ciflash.exe exit code $code"
[ ! -s "$work/out" ] || fail "ciflash.exe drew: $(od -c "$work/out" | head -3)"
grep -q "^ciflash: cannot open the I/O ports .*inpoutx64.dll was not found" "$work/err" ||
    fail "no diagnosis"
grep -q "Put inpoutx64.dll next to ciflash.exe" "$work/err" || fail "no place for the DLL named"
echo "ok: diagnosis on standard error, nothing drawn, exit code 1"
