# Sourced by the scripts that run many Wine programs: starts one Xvfb display
# (when there is none) and one persistent Wine server for the given prefix.

WINE_SESSION_PREFIXES=()

start_wine_session() {
    export WINEPREFIX=$1
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=;winmm=n,b"
    WINE_SESSION_XVFB=
    if [ -z "${DISPLAY:-}" ]; then
        local n
        for n in $(seq 90 150); do
            if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
                Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
                WINE_SESSION_XVFB=$!
                export DISPLAY=":$n"
                local i
                for i in $(seq 50); do
                    [ -e "/tmp/.X11-unix/X$n" ] && break
                    sleep 0.1
                done
                break
            fi
        done
    fi
    mkdir -p "$WINEPREFIX"
    # A new prefix is made first, with a server of its own that ends by
    # itself and so saves the prefix's registry.
    "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" --prefix "$WINEPREFIX" wineboot \
        >/dev/null 2>&1 </dev/null || true
    /usr/lib/wine/wineserver -w || true
    /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true
    # Wine's own background processes start with the first program and live
    # as long as the server; start them here, away from any test's output
    # pipe, which they would otherwise hold open.
    /usr/lib/wine/wine64 wineboot >/dev/null 2>&1 </dev/null || true
}

# A further prefix for the session's tests that need other settings (the
# wine-run.sh options after the prefix apply when it is made), with a
# persistent server and background processes of its own, like the first.
start_wine_prefix() {
    local prefix=$1
    shift
    mkdir -p "$prefix"
    "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" --prefix "$prefix" "$@" wineboot \
        >/dev/null 2>&1 </dev/null || true
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -w || true
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true
    WINEPREFIX=$prefix /usr/lib/wine/wine64 wineboot >/dev/null 2>&1 </dev/null || true
    WINE_SESSION_PREFIXES+=("$prefix")
}

stop_wine_session() {
    local prefix
    for prefix in "${WINE_SESSION_PREFIXES[@]}"; do
        WINEPREFIX=$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    done
    WINE_SESSION_PREFIXES=()
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    if [ -n "${WINE_SESSION_XVFB:-}" ]; then
        kill "$WINE_SESSION_XVFB" 2>/dev/null || true
    fi
}
