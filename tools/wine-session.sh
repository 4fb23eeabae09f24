# Sourced by every script that runs Wine programs: the one place that sets
# Wine's environment, starts a virtual display, makes a prefix, and keeps one
# Wine server for many programs. MORVA_WINE names the wine64 loader to use,
# MORVA_WINEDEBUG Wine's debug channels.

# Exports Wine's environment for the prefix: 64-bit, quiet, no Mono, Gecko
# or menu entries, and a winmm.dll found beside a program before Wine's own.
wine_environment() {
    export WINEPREFIX=$1
    export WINEARCH=win64
    export WINEDEBUG=${MORVA_WINEDEBUG:--all}
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=;winmm=n,b"
    WINE=${MORVA_WINE:-/usr/lib/wine/wine64}
    WINESERVER=${WINE%/*}/wineserver
}

# Starts Xvfb on a free display when there is none; WINE_DISPLAY_XVFB is its
# process, or empty. Xvfb itself picks the display and names it once it takes
# connections: probing for a free number instead would let two sessions
# starting together take the same one, and one lose it to the other's stop.
# Fails when Xvfb does not come up.
start_display() {
    WINE_DISPLAY_XVFB=
    [ -z "${DISPLAY:-}" ] || return 0
    local named number
    named=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$named" >/dev/null 2>&1 &
    WINE_DISPLAY_XVFB=$!
    # The number's line ends once Xvfb takes connections.
    while [ "$(wc -l <"$named")" -lt 1 ] && kill -0 "$WINE_DISPLAY_XVFB" 2>/dev/null; do
        sleep 0.1
    done
    number=$(tr -dc 0-9 <"$named")
    rm -f "$named"
    if [ -z "$number" ] || ! kill -0 "$WINE_DISPLAY_XVFB" 2>/dev/null; then
        echo "wine-session: Xvfb did not start" >&2
        WINE_DISPLAY_XVFB=
        return 1
    fi
    export DISPLAY=":$number"
}

stop_display() {
    if [ -n "${WINE_DISPLAY_XVFB:-}" ]; then
        kill "$WINE_DISPLAY_XVFB" 2>/dev/null || true
    fi
}

# A new prefix is made once. Its windows are left unmanaged: without a window
# manager, Wine would otherwise wait two seconds for one at every hide.
#   make_wine_prefix [DPI]    DPI, when given, sets the prefix's dots per inch
make_wine_prefix() {
    local dpi=${1:-}
    local ready=$WINEPREFIX/.morva-ready
    [ ! -f "$ready" ] || return 0
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$ready" ]; then
            "$WINE" wineboot -i >/dev/null 2>&1 </dev/null || true
            "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
                >/dev/null 2>&1 </dev/null || true
            if [ -n "$dpi" ]; then
                "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
                    /d "$dpi" /f >/dev/null 2>&1 </dev/null || true
            fi
            # The server writes the registry out when it ends on its own; a
            # killed server would lose the setting.
            "$WINESERVER" -w || true
            if grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" &&
                { [ -z "$dpi" ] ||
                    grep -q "\"LogPixels\"=dword:$(printf %08x "$dpi")" "$WINEPREFIX/user.reg"; }; then
                touch "$ready"
            fi
        fi
    ) 9>"$WINEPREFIX.lock"
}

WINE_SESSION_PREFIXES=()

start_wine_session() {
    wine_environment "$1"
    start_display || return 1
    make_wine_prefix
    # The prefix is brought up to date by a server of its own that ends by
    # itself and so saves the prefix's registry.
    "$WINE" wineboot >/dev/null 2>&1 </dev/null || true
    "$WINESERVER" -w || true
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
    # Wine's own background processes start with the first program and live
    # as long as the server; start them here, away from any test's output
    # pipe, which they would otherwise hold open.
    "$WINE" wineboot >/dev/null 2>&1 </dev/null || true
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
    WINEPREFIX=$prefix "$WINESERVER" -w || true
    WINEPREFIX=$prefix "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
    WINEPREFIX=$prefix "$WINE" wineboot >/dev/null 2>&1 </dev/null || true
    WINE_SESSION_PREFIXES+=("$prefix")
}

stop_wine_session() {
    local prefix
    for prefix in "${WINE_SESSION_PREFIXES[@]}"; do
        WINEPREFIX=$prefix "$WINESERVER" -k >/dev/null 2>&1 || true
    done
    WINE_SESSION_PREFIXES=()
    "$WINESERVER" -k >/dev/null 2>&1 || true
    stop_display
}
