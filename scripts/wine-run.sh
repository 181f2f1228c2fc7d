#!/usr/bin/env bash
# ctest's cross-compiling emulator: runs one Windows executable under the build's Wine prefix.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
exe="$1"; shift
: "${SYSEXDUMP_BUILD_DIR:=$(cd "$(dirname "$exe")/.." && pwd)}"
source "$here/wine-env.sh"
exec "$WINE_LOADER" "$exe" "$@"
