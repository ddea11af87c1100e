#!/bin/sh
# Runs a Windows program under wine for CTest and build-time steps. The wine
# prefix lives in the build tree (WINEPREFIX may override it) and is created on
# first use.
#
# Wine's server and its system processes (services, device drivers) outlive
# the program that started them and keep the output it had: started from a
# test they would hold CTest's pipes open until they exit. So whoever finds no
# server running starts it here, detached, and boots the system processes with
# their output on /dev/null; the server stays a minute after its last client.
set -e
if [ -z "${WINEPREFIX:-}" ]; then
    WINEPREFIX="$(pwd -P)"
    # Walk up to the build tree's root (the folder holding CMakeCache.txt).
    while [ "$WINEPREFIX" != / ] && [ ! -f "$WINEPREFIX/CMakeCache.txt" ]; do
        WINEPREFIX=$(dirname "$WINEPREFIX")
    done
    [ -f "$WINEPREFIX/CMakeCache.txt" ] || WINEPREFIX="$(pwd -P)"
    WINEPREFIX="$WINEPREFIX/wineprefix"
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts: nothing here needs them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"
# QUORVEL_WINE names the wine loader to use instead of the wine command.
wine=${QUORVEL_WINE:-wine}
if wineserver -p60 </dev/null >/dev/null 2>&1; then
    "$wine" wineboot </dev/null >/dev/null 2>&1 || true
fi
exec "$wine" "$@"
