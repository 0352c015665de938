# Sourced by the scripts that run Windows programs under Wine: a quiet Wine
# with its own prefix inside the build folder, created on first use. Expects
# $top (the checkout); returns non-zero when the prefix cannot be made.
export WINEDEBUG=-all
export WINEPREFIX="$top/build/wine-prefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || { echo "could not create the Wine prefix $WINEPREFIX" >&2; return 1; }
fi
# One server for the whole run: left to itself it exits a few seconds after
# its last program, and a program that starts just then loses its connection
# ("wine client error: recvmsg"). The sourcing script stops it on exit.
wineserver -p >/dev/null 2>&1 || true
