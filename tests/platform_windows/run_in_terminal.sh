#!/usr/bin/env bash
# Runs a Windows test program under Wine in a pseudo-terminal (script(1)): Wine gives a
# program a console only when it starts on a terminal. What the console draws there is no
# readable log, so the results come from GoogleTest's XML report.
# Usage: run_in_terminal.sh WINE TEST-PROGRAM
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
program=$(realpath "$2")
cd "$work" || exit 1
script -qefc "$1 $program --gtest_output=xml:report.xml" /dev/null >/dev/null </dev/null
code=$?
if [ "$code" -ne 0 ] || ! grep -q '<testsuites .*failures="0"' report.xml 2>/dev/null; then
    echo "$program failed (exit code $code):"
    cat report.xml 2>/dev/null
    exit 1
fi
grep -o '<testcase name="[^"]*"[^>]*classname="[^"]*"' report.xml |
    sed 's/<testcase name="\([^"]*\)".*classname="\([^"]*\)"/ok \2.\1/'
