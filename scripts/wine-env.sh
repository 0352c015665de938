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
