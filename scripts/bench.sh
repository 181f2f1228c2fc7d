#!/usr/bin/env bash
# Runs the transfer benchmark of a build tree under its Wine prefix:
# bash scripts/bench.sh <build dir> [benchmark options, e.g. --lines-only].
# Windows need a display; `make bench` provides a virtual one when there is none.
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
bench="$build/bin/transfer_bench.exe"
if [ ! -f "$bench" ]; then
  echo "$bench not found: build first (make build)." >&2
  exit 2
fi
export SYSEXDUMP_BUILD_DIR="$build"
"$here/wine-prefix.sh" start "$build"
trap '"$here/wine-prefix.sh" stop "$build"' EXIT
source "$here/wine-env.sh"
"$WINE_LOADER" "$bench" "${@:2}"
