#!/usr/bin/env bash
# The project's own Wine: one 32-bit prefix per build folder, quiet, no installer dialogs.
#
#   tools/wine.sh prefix BUILD            create the prefix once (BUILD/wineprefix)
#   tools/wine.sh xrun BUILD CMD...       run CMD with a fresh wineserver under a private Xvfb
#   tools/wine.sh display BUILD CMD...    the same on the user's own $DISPLAY
#
# Inside xrun/display a persistent wineserver is started and warmed up first, with its stdio on
# /dev/null: Wine's background processes inherit the first Wine process's handles, and a test
# runner's pipe held open by them would never close. The server is stopped when CMD ends.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
mode="$1"; build="$(mkdir -p "$2" && cd "$2" && pwd)"; shift 2

# The build folder knows its architecture (written by tools/build.sh).
arch="$(cat "$build/arch" 2>/dev/null || "$here/wine-arch.sh")"
if [ "$arch" = i686 ]; then
    export WINEARCH=win32
    export VELQUETH_WINE="${VELQUETH_WINE:-wine}"
else
    export WINEARCH=win64
    export VELQUETH_WINE="${VELQUETH_WINE:-/usr/lib/wine/wine64}"
    export WINELOADER="$VELQUETH_WINE"
fi
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="

make_prefix() {
    [ -f "$WINEPREFIX/.velqueth-ready" ] && return 0
    echo "Creating the Wine prefix in $WINEPREFIX (once)..."
    rm -rf "$WINEPREFIX"
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
        "$VELQUETH_WINE" wineboot -i >/dev/null 2>&1 </dev/null
        # Without a window manager every hide of a managed top-level window waits 2 s.
        "$VELQUETH_WINE" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 </dev/null
        wineserver -w'
    # Wine only uses fonts that are inside the prefix ("MS Sans Serif", Marlett).
    if [ -d /usr/share/wine/fonts ]; then
        cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    touch "$WINEPREFIX/.velqueth-ready"
}

start_server() {
    wineserver -k >/dev/null 2>&1 </dev/null || true
    wineserver -p >/dev/null 2>&1 </dev/null
    if [ -f "$build/bin/warmup.exe" ]; then
        "$VELQUETH_WINE" "$build/bin/warmup.exe" >/dev/null 2>&1 </dev/null || true
    else
        "$VELQUETH_WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true
    fi
}

case "$mode" in
    prefix)
        make_prefix ;;
    xrun)
        make_prefix
        exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$here/wine.sh" inside "$build" "$@" ;;
    inside)
        # (xrun's second half, running inside Xvfb.)
        start_server
        set +e
        "$@"; rc=$?
        wineserver -k >/dev/null 2>&1 </dev/null
        exit $rc ;;
    display)
        make_prefix
        start_server
        set +e
        "$@"; rc=$?
        wineserver -k >/dev/null 2>&1 </dev/null
        exit $rc ;;
    *)
        echo "usage: $0 prefix|xrun|display BUILD [CMD...]" >&2; exit 2 ;;
esac
