#!/usr/bin/env bash
# ciflash-rehearse running the hardware program in a terminal: each case answers its screens, then
# checks the exit code, and that the port accesses are one for one those ciflash-sim makes.
# Usage: rehearse_terminal_test.sh CIFLASH-REHEARSE CIFLASH-STANDIN CIFLASH-SIM
. "$(dirname "$0")/../e2e/tmux_lib.sh"
REHEARSE=$1 STANDIN=$2 SIM=$3

# options | screen=key;... (a key SIGxxx is that signal sent to the program) | exit code
CASES=(
    "--erase-ms 0 --block-ms 0|UPDATE SUCCESSFULL. =Escape|0"
    "--erase-ms 0 --block-ms 0 --reply 1:17:6581|Critical Flash memory error =Escape;UPDATE ERROR !!!=Escape|4"
    "--no-module|PLEASE, INSERT A DVB MODULE=SIGINT|130"
)
for entry in "${CASES[@]}"; do
    IFS='|' read -r options steps code <<<"$entry"
    start "$REHEARSE $options --trace $E2E_DIR/rehearse.trace --report $E2E_DIR/report.json -- $STANDIN"
    IFS=';' read -ra screens <<<"$steps"
    for step in "${screens[@]}"; do
        wait_for "${step%=*}" && key=${step##*=}
        if [[ $key == SIG* ]]; then signal "${key#SIG}"; else keys "$key"; fi
    done
    expect_eq "$(exit_code)" "$code" "exit code with $options"
    expect_terminal_restored
    # The simulator without a keyboard leaves its last screen as if the key had been typed.
    setsid "$SIM" --fast $options --trace "$E2E_DIR/sim.trace" </dev/null >/dev/null 2>&1 || [ $? = 4 ]
    cmp "$E2E_DIR/rehearse.trace" "$E2E_DIR/sim.trace" || fail "trace differs with $options"
done
expect_eq "$(grep -c '"ports": 4, "turn_on": true' "$E2E_DIR/report.json")" 5 "windows in the report"
