#!/usr/bin/env bash
# ciflash-rehearse in a terminal: each case answers its screens, checks the exit code (empty:
# ciflash-sim's) and that the port accesses equal ciflash-sim's when it has the same images.
# Arguments: ciflash-rehearse, ciflash-standin, ciflash-sim.
. "$(dirname "$0")/../e2e/tmux_lib.sh"
REHEARSE=$1 STANDIN=$2 SIM=$3
T=$E2E_DIR/sim.trace
"$REHEARSE" -- "$STANDIN" --version | grep page | cmp -s - <("$SIM" --version | grep page) ||
    { T= && echo "ciflash-sim has the firmware images, not ciflash-standin's: no trace compared"; }
# options | screen=key;... (a key SIGxxx is that signal sent to the program) | exit code
CASES=(
    "--erase-ms 0 --block-ms 0|UPDATE SUCCESSFULL. =Escape|"
    "--erase-ms 0 --block-ms 0 --reply 1:17:6581|Critical Flash memory error =Escape;\
UPDATE ERROR !!!=Escape|"
    "--no-module|PLEASE, INSERT A DVB MODULE=SIGINT|130"
)
for entry in "${CASES[@]}"; do
    IFS='|' read -r options steps code <<<"$entry"
    # A server per case: one started on the socket of an exiting server may fail.
    tmux -L "$E2E_SOCKET" kill-server 2>/dev/null || true
    E2E_SOCKET=$E2E_SOCKET-$RANDOM
    start "timeout --foreground -k 5 300 $REHEARSE $options --trace $E2E_DIR/rehearse.trace \
--report $E2E_DIR/report.json -- $STANDIN"
    IFS=';' read -ra screens <<<"$steps"
    for step in "${screens[@]}"; do
        wait_for "${step%=*}" && key=${step##*=}
        if [[ $key == SIG* ]]; then signal "${key#SIG}"; else keys "$key"; fi
    done
    # The simulator without a keyboard leaves its last screen as if the key had been typed.
    sim=0
    timeout -k 5 60 setsid "$SIM" --fast $options --trace $E2E_DIR/sim.trace &>/dev/null \
        </dev/null || sim=$?
    expect_eq "$(exit_code)" "${code:-$sim}" "exit code with $options"
    expect_terminal_restored
    [ -z "$T" ] || cmp "$E2E_DIR/rehearse.trace" "$T" || fail "trace differs with $options"
done
expect_eq "$(grep -c '"ports": 4, "turn_on": true' "$E2E_DIR/report.json")" 5 "windows in report"
