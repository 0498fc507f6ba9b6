#!/usr/bin/env bash
# The Debian package, built and tried in a throw-away root.
#
# build-package gives altered stand-in images as the real ones (scripts/test-firmware.sh), so
# that ciflash and the maintainer scripts that grant and take back its capability are in the
# package. That package is for this test only and is never published.
#
# The package is installed with `dpkg --root` rather than unpacked with `dpkg -x`: so dpkg
# itself runs the postinst and the prerm (chrootless, with DPKG_ROOT set) on install, upgrade
# and removal. The root's dpkg database holds the host's entries of the packages that the
# computed Depends names, so dpkg checks those versions against the libraries the installed
# programs run with here.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh dpkg-dev man-db groff-base libcap2-bin fakeroot lintian

mapfile -t firmware < <(scripts/test-firmware.sh build-package)
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIFLASH_TESTS=OFF \
    "${firmware[@]}"
cmake --build build-package
rm -f build-package/ciflash_*.deb
(cd build-package && cpack -G DEB)
DEB=$(echo "$PWD"/build-package/ciflash_*.deb)

# shellcheck source=tests/e2e/tmux_lib.sh
. tests/e2e/tmux_lib.sh
ROOT=$E2E_DIR/root
CONTROL=$E2E_DIR/control

pass() { echo "ok: $*"; }

# --- What the package holds and needs: one line per file.
files=$(dpkg -c "$DEB" | awk '$1 !~ /^d/ {print $6}' | sort)
expected=$(sort <<'EOF'
./usr/bin/ciflash
./usr/bin/ciflash-rehearse
./usr/bin/ciflash-sim
./usr/lib/tmpfiles.d/ciflash.conf
./usr/share/doc/ciflash/changelog.gz
./usr/share/doc/ciflash/copyright
./usr/share/lintian/overrides/ciflash
./usr/share/man/man1/ciflash-rehearse.1.gz
./usr/share/man/man1/ciflash-sim.1.gz
./usr/share/man/man1/ciflash.1.gz
EOF
)
expect_eq "$files" "$expected" "files in the package"
pass "dpkg -c lists the programs, their manual pages, copyright, changelog and lintian overrides"

# lintian with every tag it knows, down to the pedantic and experimental ones: not one, apart
# from those the package overrides (hardening, stripping, copyright and changelog included).
lintian -EvIL +pedantic "$DEB" >"$E2E_DIR/lintian.log" 2>&1 || true
cat "$E2E_DIR/lintian.log"
! grep -E '^[EWIPX]: ' "$E2E_DIR/lintian.log" || fail "lintian reports the tags above"
pass "lintian -EvIL +pedantic: no tag at all, no error, no warning"

depends=$(dpkg-deb -f "$DEB" Depends)
for name in passwd libc6 libstdc++6 libgcc libtinfo6; do
    grep -qF "$name" <<<"$depends" || fail "Depends lacks $name: $depends"
done
pass "Depends: $depends"
expect_eq "$(dpkg-deb -f "$DEB" Recommends)" libcap2-bin "Recommends"
dpkg-deb -e "$DEB" "$CONTROL"
[ -x "$CONTROL/postinst" ] && [ -x "$CONTROL/prerm" ] || fail "postinst or prerm missing"
pass "postinst and prerm in the control archive"

# --- The throw-away root, with a group file as every system has. Without root the installation
# runs under fakeroot, which keeps the owners it pretends in a file; the capability cannot be
# set for real there: that part is then skipped, and said so.
FAKEROOT=()
if [ "$(id -u)" -ne 0 ]; then
    : >"$E2E_DIR/fakeroot.state"
    FAKEROOT=(fakeroot -i "$E2E_DIR/fakeroot.state" -s "$E2E_DIR/fakeroot.state")
fi
in_root() {
    "${FAKEROOT[@]}" dpkg --root="$ROOT" --log=/dev/null --force-script-chrootless \
        --force-not-root "$@" >"$E2E_DIR/dpkg.log" 2>&1 || fail "dpkg $*: $(cat "$E2E_DIR/dpkg.log")"
    cat "$E2E_DIR/dpkg.log"
}
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates" "$ROOT/etc"
printf 'root:x:0:\nadm:x:4:\n' >"$ROOT/etc/group"
host_groups=$(cat /etc/group)
dependencies=$(tr ',' '\n' <<<"$depends" | sed 's/(.*//; s/|.*//; s/ //g')
# shellcheck disable=SC2086 # one package name per word
dpkg-query -s $dependencies >"$ROOT/var/lib/dpkg/status"
for name in $dependencies; do
    : >"$ROOT/var/lib/dpkg/info/$(dpkg-query -W -f='${binary:Package}' "$name").list"
done
in_root -i "$DEB"
[ -x "$ROOT/usr/bin/ciflash" ] && [ -x "$ROOT/usr/bin/ciflash-sim" ] || fail "programs not installed"
pass "installed into $ROOT"

# --- The group: created in the root being installed (never on this machine), owning ciflash,
# which only root and the group may run; it stays when the package is removed and purged.
gid=$(awk -F: '$1 == "ciflash" && $3 < 1000 { print $3 }' "$ROOT/etc/group")
[ -n "$gid" ] || fail "no system group ciflash in $ROOT/etc/group: $(cat "$ROOT/etc/group")"
expect_eq "$(cat /etc/group)" "$host_groups" "this machine's groups"
mode() { "${FAKEROOT[@]}" stat -c '%u:%g %a' "$@"; }
expect_eq "$(mode "$ROOT/usr/bin/ciflash")" "0:$gid 750" "owner and mode of ciflash"
expect_eq "$(mode "$ROOT/usr/bin/ciflash-sim")" "0:0 755" "owner and mode of ciflash-sim"
pass "system group ciflash ($gid) created in the root only; ciflash is root:ciflash 0750"

# --- The update history's folder: root:ciflash 3775 (sticky) after install, and again after an
# upgrade that finds it as earlier packages left it (2775, not sticky).
expect_eq "$(mode "$ROOT/var/lib/ciflash")" "0:$gid 3775" "history folder after install"
"${FAKEROOT[@]}" chmod 2775 "$ROOT/var/lib/ciflash"
in_root -i "$DEB"
expect_eq "$(mode "$ROOT/var/lib/ciflash")" "0:$gid 3775" "history folder after upgrade"
pass "/var/lib/ciflash is root:ciflash 3775 after install and upgrade"

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

# --- The maintainer scripts do not fail where setcap is missing or refuses. They run on a copy
# of the installed root's program and groups, which the checks below do not look at.
scratch=$E2E_DIR/scratch
mkdir -p "$E2E_DIR/nothing" "$E2E_DIR/refusing" "$scratch/usr/bin" "$scratch/etc"
cp "$ROOT/usr/bin/ciflash" "$scratch/usr/bin/"
cp "$ROOT/etc/group" "$scratch/etc/"
for tool in getent groupadd awk cut chown chmod mkdir dpkg-statoverride; do
    ln -s "$(command -v "$tool")" "$E2E_DIR/nothing/"
done
printf '#!/bin/sh\necho "$1 cap_sys_rawio=ep"\n' >"$E2E_DIR/refusing/getcap"
printf '#!/bin/sh\necho "setcap: Operation not supported" >&2\nexit 1\n' >"$E2E_DIR/refusing/setcap"
chmod +x "$E2E_DIR/refusing/getcap" "$E2E_DIR/refusing/setcap"
maintainer_script() { # SCRIPT ACTION PATH-DIR EXPECTED-NOTE
    local note
    note=$("${FAKEROOT[@]}" env PATH="$3" DPKG_ROOT="$scratch" /bin/sh "$CONTROL/$1" "$2" 2>&1) ||
        fail "$1 $2 failed with PATH=$3: $note"
    grep -qF "$4" <<<"$note" || fail "$1 $2 with PATH=$3: no note \"$4\": $note"
}
maintainer_script postinst configure "$E2E_DIR/nothing" "is missing"
maintainer_script prerm remove "$E2E_DIR/nothing" "is missing"
maintainer_script postinst configure "$E2E_DIR/refusing:$E2E_DIR/nothing" "could not give"
maintainer_script prerm remove "$E2E_DIR/refusing:$E2E_DIR/nothing" "could not take"
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
    expect_eq "$(mode "$ROOT/usr/bin/ciflash")" "0:$gid 750" "owner and mode after upgrade"
    ln "$ROOT/usr/bin/ciflash" "$E2E_DIR/last-ciflash"
    in_root -r ciflash
    expect_eq "$(capability "$E2E_DIR/last-ciflash")" "" "capability of the removed file"
    pass "postinst grants cap_sys_rawio=ep; prerm takes it back on upgrade and removal"
fi
[ ! -e "$ROOT/usr/bin/ciflash" ] && [ ! -e "$ROOT/usr/share/man/man1/ciflash.1.gz" ] ||
    fail "files left after removal"
grep -q "^ciflash:x:$gid:" "$ROOT/etc/group" || fail "group ciflash gone after removal"
in_root -i "$DEB"
in_root -P ciflash
[ ! -e "$ROOT/usr/bin/ciflash" ] || fail "ciflash left after purge"
grep -q "^ciflash:x:$gid:" "$ROOT/etc/group" || fail "group ciflash gone after purge"
[ -d "$ROOT/var/lib/ciflash" ] || fail "history folder gone after purge"
pass "removed, installed again and purged cleanly; the group ciflash and the history stay"
echo "package test passed: $DEB"
