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

# Wine starts its server with the first program, and Debian's wineserver
# wrapper asks it to exit as soon as the last program has ended. A program
# that starts in that moment reaches a server on its way out and dies with
# "wine client error:0: recvmsg: Connection reset by peer". A script that runs
# many programs in a row (ctest) keeps one server up from wine_start_server to
# wine_stop_server instead.
wine_start_server() {
    if ! wineserver -p </dev/null >/dev/null 2>&1; then
        # A server of this prefix still runs: one winding down after earlier
        # programs is gone within seconds; then try again.
        timeout 30 wineserver -w </dev/null >/dev/null 2>&1
        wineserver -p </dev/null >/dev/null 2>&1 || return 1
    fi
    # The prefix's services (services.exe, winedevice.exe, explorer.exe, ...)
    # start with its first program, live as long as the server and keep the
    # standard streams they were handed. Booted here, with none of the
    # caller's: started by a test, they would hold ctest's output pipe open
    # and ctest would wait for them for ever.
    if ! wineboot </dev/null >/dev/null 2>&1; then
        wine_stop_server
        return 1
    fi
}

# Ends the server of wine_start_server and every program still running in the
# prefix; does nothing when none runs.
wine_stop_server() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
}
