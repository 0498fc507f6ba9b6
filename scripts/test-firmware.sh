#!/usr/bin/env bash
# Writes DIR/test_page0.bin and DIR/test_page1.bin and prints the two cmake options that give
# them as the firmware images: the stand-in images with their first byte changed, because the
# build refuses the stand-ins themselves as firmware. Only for the package and Windows tests,
# which need a ciflash binary; such a build never goes near a module.
#   scripts/test-firmware.sh DIR
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p "$1"
dir=$(cd "$1" && pwd)
for page in 0 1; do
    cp "protocol/images/standin_page$page.bin" "$dir/test_page$page.bin"
    printf 'T' | dd of="$dir/test_page$page.bin" bs=1 conv=notrunc status=none
    printf -- '-DCIFLASH_PAGE%s_IMAGE=%s\n' "$page" "$dir/test_page$page.bin"
done
