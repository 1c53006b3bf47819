#!/bin/sh
# Starts or stops the Wine session that the Windows tests run in: a private
# prefix (created on first use) and one persistent wineserver for the whole
# test run, so that each test program starts quickly.
#   wine-session.sh start PREFIX
#   wine-session.sh stop PREFIX
set -eu

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

action=${1:?usage: wine-session.sh start|stop PREFIX}
WINEPREFIX=${2:?usage: wine-session.sh start|stop PREFIX}
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko: their install prompts would block a headless run.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

case "$action" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        "$WINE" wineboot -i >/dev/null 2>&1 || true
        "$WINESERVER" -w
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "wine-session: could not create the prefix $WINEPREFIX" >&2
            exit 1
        fi
    fi
    # The server and Wine's own services (started here by wineboot) are
    # detached from our pipes: a test program that started them would hand
    # them its output pipe, and ctest would wait for them to close it.
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true  # already running: fine
    "$WINE" wineboot >/dev/null 2>&1 </dev/null || true
    # Xvfb runs no window manager: unmanaged windows spare the tests Wine's
    # wait for one each time a window is hidden.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
    echo "wineserver running for $WINEPREFIX"
    ;;
stop)
    "$WINESERVER" -k >/dev/null 2>&1 || true
    echo "wineserver stopped for $WINEPREFIX"
    ;;
*)
    echo "usage: wine-session.sh start|stop PREFIX" >&2
    exit 2
    ;;
esac
