#!/usr/bin/env bash
# The size of the tests against the product, in characters without whitespace, so that line
# breaks and indentation change nothing. Test material: every file under tests/ and fuzz/ (the
# fuzz corpus aside), tracked or new. Product: the C and C++ files elsewhere, the simulator
# and ciflash-rehearse included, the benchmark and the stand-in image generator left out.
# Prints both counts and their ratio; exits 1 if a line of test C++ is over 100 columns.
set -euo pipefail
cd "$(dirname "$0")/.."

files() { git ls-files -z --cached --others --exclude-standard "$@" | sort -zu; }
characters() { xargs -0r cat -- | tr -d ' \t\r\n' | wc -c; }

tests=$(files tests fuzz ':!fuzz/corpus' | characters)
product=$(files '*.c' '*.cpp' '*.h' ':!tests' ':!fuzz' ':!bench' \
    ':!protocol/images/make_standin_images.cpp' | characters)
echo "test material $tests, product $product characters without whitespace:" \
    "ratio $(awk "BEGIN { printf \"%.3f\", $tests / $product }")"

long=$(files 'tests/*.cpp' 'tests/*.h' 'fuzz/*.cpp' 'fuzz/*.h' |
    xargs -0r awk 'length > 100 { print FILENAME ":" FNR ": " length " columns" }')
if [ -n "$long" ]; then
    printf '%s\n' "$long" "test-size.sh: test lines over 100 columns" >&2
    exit 1
fi
