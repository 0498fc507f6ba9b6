#!/usr/bin/env bash
# ciflash without port access (no capability, or a kernel without I/O ports as on build
# machines): the diagnosis on standard error, nothing drawn, exit code 1. Run as root, it is
# started with an empty capability bounding set, so that it gets no capability at all (and can
# still reach its own file wherever the build tree lies).
BIN=$1
run=("$BIN")
if command -v setpriv >/dev/null && [ "$(id -u)" -eq 0 ]; then
    run=(setpriv --bounding-set=-all --inh-caps=-all --ambient-caps=-all "$BIN")
fi
"${run[@]}" extra arguments are ignored >out.txt 2>err.txt
code=$?
status=0
[ "$code" -eq 1 ] || { echo "FAIL: exit code $code"; status=1; }
[ ! -s out.txt ] || { echo "FAIL: something was drawn: $(od -c out.txt | head -3)"; status=1; }
grep -q "cannot open the I/O ports" err.txt || { echo "FAIL: no diagnosis: $(cat err.txt)"; status=1; }
grep -qE "setcap cap_sys_rawio\+ep|ENOSYS" err.txt || { echo "FAIL: no way out named: $(cat err.txt)"; status=1; }
cat err.txt
rm -f out.txt err.txt
exit $status
