#!/usr/bin/env bash
# The Windows test suite under Wine: cross-builds (scripts/windows-build.sh), runs the unit
# tests, runs ciflash-sim.exe in a terminal (tmux) through a whole update to ESC and through
# a Ctrl+C during the flash write (outcome drawn, then the Ctrl+C exit code), and checks that
# ciflash.exe, built with altered stand-in images given as the real ones, explains the missing
# port driver and exits 1 without drawing. Last, each mutant of the Windows code must fail a
# unit test under Wine (scripts/mutate.sh --windows).
# Installs the Debian packages it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/windows-env.sh

scripts/install-deps.sh wine64 tmux bsdutils
scripts/windows-build.sh
windows_wine_env build-windows

echo "== unit tests under Wine"
# The Wine server stays up between the test programs (until 30 s after the last one): one
# that shuts down as the next program connects resets that program's connection.
"$WINESERVER" -p30
ctest --test-dir build-windows --output-on-failure -j2

# shellcheck source=tests/e2e/tmux_lib.sh
. tests/e2e/tmux_lib.sh
# Wine on a busy machine is slow: each wait allows 5 minutes, and ends as soon as its event is
# seen, so that no case depends on the machine's speed.
export E2E_WAIT=300
trap 'e2e_cleanup; "$WINESERVER" -k 2>/dev/null || true' EXIT

echo "== ciflash-sim.exe --fast in a terminal, to the end"
start "$WINE build-windows/ciflash-sim.exe --fast"
# The row is compared without its trailing blank, which the terminal does not keep.
wait_for "UPDATE SUCCESSFULL."
expect_row 15 " UPDATE SUCCESSFULL."
expect_row 24 " EXIT WITH 'Q'"
# Wine's terminal console hands a lone ESC to the program as a key record without its
# character, which the C runtime's key read skips; ESC twice arrives as Alt+ESC, code 27.
keys Escape Escape
expect_eq "$(exit_code)" 0 "exit code after ESC"
echo "ok: UPDATE SUCCESSFULL. shown, exit code 0 after ESC"

echo "== ciflash-sim.exe in real time, Ctrl+C while the flash is written"
# The module replies at once: the write lasts as long as the program's own polling (some
# seconds under Wine).
start "$WINE build-windows/ciflash-sim.exe --erase-ms 0 --block-ms 0 --report $E2E_DIR/report.json"
# Typed only once the screen shows the write under way: the shield is up and the console
# turns Ctrl+C into a control event (not a key) between key reads.
wait_for "Update code page 0 under process"
keys C-c
on_screen "under process" || fail "Ctrl+C typed after the write"
# The update goes on to its end and draws its outcome; then, without a key, the process ends
# as Ctrl+C ends it (STATUS_CONTROL_C_EXIT, 0xC000013A, whose low byte Wine passes on).
expect_eq "$(exit_code)" 58 "exit code after Ctrl+C"
screen_text | grep -qF " UPDATE SUCCESSFULL." || fail "no outcome screen"
[ "$(grep -c '"matches_image": true' "$E2E_DIR/report.json")" = 2 ] ||
    fail "flash not written to its end: $(cat "$E2E_DIR/report.json")"
echo "ok: both pages written, outcome shown, then exit code 0xC000013A without a key"

echo "== ciflash.exe without the port driver"
mapfile -t firmware < <(scripts/test-firmware.sh build-windows-hardware)
scripts/windows-build.sh -B build-windows-hardware -DCIFLASH_TESTS=OFF "${firmware[@]}"
code=0
"$WINE" build-windows-hardware/ciflash.exe >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null || code=$?
cat "$E2E_DIR/err"
[ "$code" -eq 1 ] || fail "ciflash.exe exit code $code"
[ ! -s "$E2E_DIR/out" ] || fail "ciflash.exe drew: $(od -c "$E2E_DIR/out" | head -3)"
grep -q "^ciflash: cannot open the I/O ports .*inpoutx64.dll was not found" "$E2E_DIR/err" ||
    fail "no diagnosis"
grep -q "Put inpoutx64.dll next to ciflash.exe" "$E2E_DIR/err" || fail "no place for the DLL named"
echo "ok: diagnosis on standard error, nothing drawn, exit code 1"

echo "== the mutants of the Windows code, each judged by the unit tests under Wine"
scripts/mutate.sh --windows
