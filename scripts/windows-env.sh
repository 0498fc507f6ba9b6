# Shared by windows-build.sh and windows-test.sh (sourced): a Wine of the build's own that
# runs console programs without a display.

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
