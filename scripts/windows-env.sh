# Shared by windows-build.sh and windows-test.sh (sourced): installing missing Debian packages,
# and a Wine of the build's own that runs console programs without a display.

# Installs the Debian packages given, those that are missing, without questions.
windows_need_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >&2
}

# Sets up a throwaway Wine prefix in the build directory given: no debug output, no offer to
# install Mono or Gecko. Console programs need no display. WINE is the command that runs a
# 64-bit program, WINESERVER the prefix's server (`$WINESERVER -k` ends all it runs).
windows_wine_env() {
    WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
    WINESERVER="$(dirname "$(realpath "$WINE")")/wineserver"
    export WINEPREFIX="$(realpath "$1")/wine-prefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$WINE" wineboot --init >/dev/null 2>&1
        "$WINESERVER" -w
    fi
}
