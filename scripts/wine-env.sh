# Sourced by the Wine scripts: one prefix per build tree, no Mono or Gecko prompts,
# module errors still visible.
: "${SYSEXDUMP_BUILD_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
export WINEPREFIX="${WINEPREFIX:-$SYSEXDUMP_BUILD_DIR/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
# Overrides the caller gives (a test's own) come last and win.
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
WINE_LOADER=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
