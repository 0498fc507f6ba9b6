#!/usr/bin/env bash
# A bad option or value gets one line on standard error and exit code 2, before any drawing.
BIN=$1
status=0
for args in "--bogus" "--base 0x310" "--module-buffer" "--reply 1:17:65" "--fault-rate 1.5" "extra" \
    "--report /nonexistent/dir/report.json"; do
    # shellcheck disable=SC2086
    "$BIN" $args >out.txt 2>err.txt
    code=$?
    if [ "$code" -ne 2 ] || [ "$(wc -l <err.txt)" -ne 1 ] || [ -s out.txt ]; then
        echo "FAIL: '$args' gave exit $code, stderr: $(cat err.txt), stdout bytes: $(wc -c <out.txt)"
        status=1
    fi
done
"$BIN" --help >out.txt || status=1
grep -q -- "--reply PAGE:BLOCK:SW" out.txt || { echo "FAIL: --help"; status=1; }
rm -f out.txt err.txt
exit $status
