# Sourced by the test command: a display and one kept-alive wineserver for a whole test run.
# wine_session_start BUILD_DIR  sets DISPLAY and the Wine environment; the session ends with the shell.

wine_session_stop() {
    [ -n "${WINESERVER:-}" ] && "$WINESERVER" -k 2>/dev/null || true
    [ -n "${KOLBRIN_XVFB_PID:-}" ] && kill "$KOLBRIN_XVFB_PID" 2>/dev/null || true
}

wine_session_start() {
    local builddir=$1
    . "$builddir/wine-env.sh"
    trap wine_session_stop EXIT

    # A display of our own, so dialogs can be created and driven.
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    KOLBRIN_XVFB_PID=$!
    local display
    read -r -t 20 display <"$fifo" || { echo "wine-session: Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
    rm -f "$fifo"
    export DISPLAY=":$display"

    mkdir -p "$WINEPREFIX"
    "$WINESERVER" -p 2>/dev/null || true   # already running for this prefix: keep it
    if [ ! -f "$WINEPREFIX/.kolbrin-ready" ]; then
        echo "wine-session: preparing the Wine prefix $WINEPREFIX"
        "$KOLBRIN_WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
        # Without a window manager Wine waits on every show and hide unless windows are unmanaged.
        "$KOLBRIN_WINE_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        touch "$WINEPREFIX/.kolbrin-ready"
    fi
    # The first program of a session starts Wine's background services, which keep the standard
    # handles they inherit; start them here, detached, so no test's output pipe is held open.
    "$KOLBRIN_WINE_LOADER" cmd /c exit </dev/null >/dev/null 2>&1 || true
}
