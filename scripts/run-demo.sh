#!/usr/bin/env bash
# Starts the demo build under Wine, on a virtual display when there is no real one.
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
export SYSEXDUMP_BUILD_DIR="$build"
"$here/wine-prefix.sh" start "$build"
source "$here/wine-env.sh"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display found: running the demo on a virtual display (Xvfb); it will not be visible."
  echo "Close it with Ctrl+C."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$WINE_LOADER" "$build/bin/SysExDumpDemo.exe"
fi
exec "$WINE_LOADER" "$build/bin/SysExDumpDemo.exe"
