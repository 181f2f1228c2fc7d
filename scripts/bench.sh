#!/usr/bin/env bash
# Runs the transfer benchmark of a build tree under its Wine prefix:
# bash scripts/bench.sh <build dir> [--quiet-only | --loaded-only] [benchmark options, e.g. --runs 1]
# First on the machine as it is, then the line figures again while `make build` (two jobs,
# no compiler cache) of a fresh clone of this repository loads the machine; the clone and its
# build are stopped and removed when the run ends, however it ends.
# Windows need a display; `make bench` provides a virtual one when there is none.
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
shift || true
bench="$build/bin/transfer_bench.exe"
if [ ! -f "$bench" ]; then
  echo "$bench not found: build first (make build)." >&2
  exit 2
fi
quiet=1
loaded=1
case "${1:-}" in
  --quiet-only) loaded=0; shift ;;
  --loaded-only) quiet=0; shift ;;
esac

export SYSEXDUMP_BUILD_DIR="$build"
"$here/wine-prefix.sh" start "$build"
load_dir=""
load_group=""
stop_load() {
  if [ -n "$load_group" ]; then
    kill -TERM -- "-$load_group" 2>/dev/null || true
    # The build's compilers take a moment to go; none may outlive the run.
    for _ in $(seq 50); do
      kill -0 -- "-$load_group" 2>/dev/null || break
      sleep 0.2
    done
    kill -KILL -- "-$load_group" 2>/dev/null || true
    load_group=""
  fi
  [ -z "$load_dir" ] || rm -rf "$load_dir"
  load_dir=""
}
trap 'stop_load; "$here/wine-prefix.sh" stop "$build"' EXIT
source "$here/wine-env.sh"

status=0
if [ "$quiet" = 1 ]; then
  "$WINE_LOADER" "$bench" "$@" || status=$?
fi

if [ "$loaded" = 1 ]; then
  repo="$(git -C "$here/.." rev-parse --show-toplevel)"
  load_dir="$(mktemp -d "${TMPDIR:-/tmp}/sysexdump-load.XXXXXX")"
  git clone --quiet "$repo" "$load_dir/clone"
  # Its own session, so that the whole build (make, cmake, compilers) stops as one group;
  # built again from scratch while the bench runs, and never for more than an hour.
  setsid env -u CMAKE_CXX_COMPILER_LAUNCHER -u CMAKE_C_COMPILER_LAUNCHER CCACHE_DISABLE=1 \
    timeout 3600 bash -c 'while :; do make -C "$1" build JOBS=2 >/dev/null 2>&1; rm -rf "$1/build"; done' \
    load "$load_dir/clone" </dev/null >/dev/null 2>&1 &
  load_group="$(ps -o pgid= -p $! | tr -d ' ')"
  # The figures start once the compilers run, not while cmake configures.
  for _ in $(seq 600); do
    [ -f "$load_dir/clone/build/Makefile" ] && break
    sleep 0.2
  done
  echo
  echo "=== while make build -j2 of a fresh clone loads the machine (load average $(cut -d' ' -f1 /proc/loadavg)) ==="
  "$WINE_LOADER" "$bench" --lines-only "$@" || status=$?
  echo "=== load average at the end: $(cut -d' ' -f1 /proc/loadavg) ==="
fi
exit "$status"
