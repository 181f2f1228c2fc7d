#!/usr/bin/env bash
# start: makes the build's Wine prefix once (crash dialog off, unmanaged windows) and
#        starts a persistent Wine server, detached from the caller's output so that
#        ctest does not wait on it.
# stop:  stops the Wine server.
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
SYSEXDUMP_BUILD_DIR="${2:-${SYSEXDUMP_BUILD_DIR:-$here/../build}}"
SYSEXDUMP_BUILD_DIR="$(mkdir -p "$SYSEXDUMP_BUILD_DIR" && cd "$SYSEXDUMP_BUILD_DIR" && pwd)"
source "$here/wine-env.sh"

case "${1:-start}" in
  start)
    if [ ! -f "$WINEPREFIX/.sysexdump-ready" ]; then
      rm -rf "$WINEPREFIX"
      "$WINE_LOADER" wineboot -i </dev/null >/dev/null 2>&1
      "$WINESERVER" -w
      reg() { "$WINE_LOADER" reg add "$@" /f </dev/null >/dev/null 2>&1; }
      reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
      reg 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
      reg 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d Y
      "$WINESERVER" -w
      touch "$WINEPREFIX/.sysexdump-ready"
    fi
    # Persistent server; one already running for this prefix is just as good.
    "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
    "$WINE_LOADER" wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    ;;
esac
