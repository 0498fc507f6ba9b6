#!/usr/bin/env bash
# The Debian package, built and tried in a throw-away root.
#
# build-package gives the stand-in images as the real ones, so that ciflash and the maintainer
# scripts that grant and take back its capability are in the package. That package is for this
# test only and is never published.
#
# The package is installed with `dpkg --root` rather than unpacked with `dpkg -x`: so dpkg
# itself runs the postinst and the prerm (chrootless, with DPKG_ROOT set) on install, upgrade
# and removal. The root's dpkg database holds the host's entries of the packages that the
# computed Depends names, so dpkg checks those versions against the libraries the installed
# programs run with here.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh dpkg-dev man-db groff-base libcap2-bin fakeroot

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIFLASH_TESTS=OFF \
    -DCIFLASH_PAGE0_IMAGE="$PWD/protocol/images/standin_page0.bin" \
    -DCIFLASH_PAGE1_IMAGE="$PWD/protocol/images/standin_page1.bin"
cmake --build build-package
rm -f build-package/ciflash_*.deb
(cd build-package && cpack -G DEB)
DEB=$(echo "$PWD"/build-package/ciflash_*.deb)

# shellcheck source=tests/e2e/tmux_lib.sh
. tests/e2e/tmux_lib.sh
ROOT=$E2E_DIR/root
CONTROL=$E2E_DIR/control

pass() { echo "ok: $*"; }

# --- What the package holds and needs.
files=$(dpkg -c "$DEB" | awk '$1 !~ /^d/ {print $6}' | sort)
expected=$(printf '%s\n' ./usr/bin/ciflash ./usr/bin/ciflash-sim ./usr/bin/ciflash-rehearse \
    ./usr/share/man/man1/ciflash-sim.1.gz ./usr/share/man/man1/ciflash.1.gz \
    ./usr/share/man/man1/ciflash-rehearse.1.gz | sort)
expect_eq "$files" "$expected" "files in the package"
pass "dpkg -c lists the three programs and the three manual pages, nothing else"

depends=$(dpkg-deb -f "$DEB" Depends)
for name in libc6 libstdc++6 libgcc libtinfo6; do
    grep -qF "$name" <<<"$depends" || fail "Depends lacks $name: $depends"
done
pass "Depends: $depends"
expect_eq "$(dpkg-deb -f "$DEB" Recommends)" libcap2-bin "Recommends"
dpkg-deb -e "$DEB" "$CONTROL"
[ -x "$CONTROL/postinst" ] && [ -x "$CONTROL/prerm" ] || fail "postinst or prerm missing"
pass "postinst and prerm in the control archive"

# --- The throw-away root. Without root the installation runs under fakeroot, where the
# capability cannot be set for real: that part is then skipped, and said so.
FAKEROOT=()
if [ "$(id -u)" -ne 0 ]; then FAKEROOT=(fakeroot); fi
in_root() {
    "${FAKEROOT[@]}" dpkg --root="$ROOT" --log=/dev/null --force-script-chrootless \
        --force-not-root "$@" >"$E2E_DIR/dpkg.log" 2>&1 || fail "dpkg $*: $(cat "$E2E_DIR/dpkg.log")"
    cat "$E2E_DIR/dpkg.log"
}
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates"
dependencies=$(tr ',' '\n' <<<"$depends" | sed 's/(.*//; s/|.*//; s/ //g')
# shellcheck disable=SC2086 # one package name per word
dpkg-query -s $dependencies >"$ROOT/var/lib/dpkg/status"
for name in $dependencies; do
    : >"$ROOT/var/lib/dpkg/info/$(dpkg-query -W -f='${binary:Package}' "$name").list"
done
in_root -i "$DEB"
[ -x "$ROOT/usr/bin/ciflash" ] && [ -x "$ROOT/usr/bin/ciflash-sim" ] || fail "programs not installed"
pass "installed into $ROOT"

# --- The installed simulator, to the success screen, in an 80x25 terminal.
start "$ROOT/usr/bin/ciflash-sim --fast"
wait_for "UPDATE SUCCESSFULL. "
keys Escape
expect_eq "$(exit_code)" 0 "exit code after ESC"
pass "installed ciflash-sim --fast ends on \"UPDATE SUCCESSFULL. \", exit code 0 after ESC"

# --- The installed manual pages: rendered at 80 columns without a single warning.
for page in "$ROOT"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man --warnings -l $page: $warnings"
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^EXIT STATUS' ||
        fail "$page renders no EXIT STATUS section"
done
pass "man --warnings -l: every page without warnings"

# --- The maintainer scripts do not fail where setcap is missing or refuses.
mkdir -p "$E2E_DIR/nothing" "$E2E_DIR/refusing"
printf '#!/bin/sh\necho "$1 cap_sys_rawio=ep"\n' >"$E2E_DIR/refusing/getcap"
printf '#!/bin/sh\necho "setcap: Operation not supported" >&2\nexit 1\n' >"$E2E_DIR/refusing/setcap"
chmod +x "$E2E_DIR/refusing/getcap" "$E2E_DIR/refusing/setcap"
maintainer_script() { # SCRIPT ACTION PATH-DIR EXPECTED-NOTE
    local note
    note=$(PATH=$3 DPKG_ROOT=$ROOT /bin/sh "$CONTROL/$1" "$2" 2>&1) ||
        fail "$1 $2 failed with PATH=$3: $note"
    grep -qF "$4" <<<"$note" || fail "$1 $2 with PATH=$3: no note \"$4\": $note"
}
maintainer_script postinst configure "$E2E_DIR/nothing" "is missing"
maintainer_script prerm remove "$E2E_DIR/nothing" "is missing"
maintainer_script postinst configure "$E2E_DIR/refusing" "could not give"
maintainer_script prerm remove "$E2E_DIR/refusing" "could not take"
pass "postinst and prerm end with 0 and a note when setcap is missing or refuses"

# --- The capability: granted on install and upgrade, taken back before the file goes, so that
# a hard link to it keeps nothing.
probe=$E2E_DIR/probe
cp "$ROOT/usr/bin/ciflash-sim" "$probe"
if [ "$(id -u)" -ne 0 ] || ! setcap cap_sys_rawio+ep "$probe" 2>/dev/null; then
    echo "SKIP: setcap does not work here (not root, or no extended attributes):" \
        "the capability is not checked"
    in_root -r ciflash
else
    capability() { getcap "$1" | awk '{print $2}'; }
    expect_eq "$(capability "$ROOT/usr/bin/ciflash")" cap_sys_rawio=ep "capability after install"
    ln "$ROOT/usr/bin/ciflash" "$E2E_DIR/old-ciflash"
    in_root -i "$DEB"
    expect_eq "$(capability "$ROOT/usr/bin/ciflash")" cap_sys_rawio=ep "capability after upgrade"
    expect_eq "$(capability "$E2E_DIR/old-ciflash")" "" "capability of the replaced file"
    ln "$ROOT/usr/bin/ciflash" "$E2E_DIR/last-ciflash"
    in_root -r ciflash
    expect_eq "$(capability "$E2E_DIR/last-ciflash")" "" "capability of the removed file"
    pass "postinst grants cap_sys_rawio=ep; prerm takes it back on upgrade and removal"
fi
[ ! -e "$ROOT/usr/bin/ciflash" ] && [ ! -e "$ROOT/usr/share/man/man1/ciflash.1.gz" ] ||
    fail "files left after removal"
pass "removed cleanly"
echo "package test passed: $DEB"
