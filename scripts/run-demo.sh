#!/usr/bin/env bash
# Starts the demo build under Wine: bash scripts/run-demo.sh <build dir>.
# Without a display it starts a virtual one (Xvfb) and says which. Either way it writes
# "<display> <its pid>" to <build dir>/demo-display, where `make screenshot` finds the demo.
# Ctrl+C or SIGTERM (sent to make or to this script) closes the demo as its close box would
# (so that it ends in order and SYSEXDUMP_DEMO_RECORD is written), then ends every Wine
# process of the build's prefix, stops the virtual display and removes that file. A DISPLAY
# that cannot be opened is said so, and the script fails.
set -eu
# A background job of a non-interactive shell starts with SIGINT ignored, and bash cannot
# trap a signal that was ignored when it started: start again with SIGINT restored, so that
# `kill -INT` on this script still ends the demo cleanly.
if [ -n "$(trap -p INT)" ]; then
  exec env --default-signal=INT bash "${BASH_SOURCE[0]}" "$@"
fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
export SYSEXDUMP_BUILD_DIR="$build"
source "$here/wine-env.sh"
state="$build/demo-display"
xvfb=""
# A second demo would share the first one's Wine server, and ending either would end both.
if [ -f "$state" ] && read -r other_display other_pid <"$state" && kill -0 "$other_pid" 2>/dev/null; then
  echo "run-demo: a demo already runs for $build (DISPLAY=$other_display, pid $other_pid)." >&2
  exit 1
fi

finish() {
  trap '' INT TERM   # a second Ctrl+C must not cut the clean-up short
  "$here/wine-prefix.sh" stop "$build"   # wineserver -k: the demo and the prefix's services
  "$WINESERVER" -w 2>/dev/null || true   # returns once they are gone
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -f "$state" "$state.number"
}
trap finish EXIT
# The program's own close path: taskkill without /f posts WM_CLOSE to the demo's windows. A
# window that waits for an answer (a question box) does not close; the clean-up then ends it.
demo=""
close_demo() {
  trap 'exit 0' INT TERM   # asked again: stop waiting
  echo "run-demo: stopping the demo."
  if [ -n "$demo" ] && kill -0 "$demo" 2>/dev/null; then
    "$WINE_LOADER" taskkill /im SysExDumpDemo.exe </dev/null >/dev/null 2>&1 || true
    timeout 10 tail --pid="$demo" -f /dev/null ||
      echo "run-demo: the demo did not close within 10 s (is a message box waiting?); ending it."
  fi
  exit 0
}
# Being asked to stop is how the demo normally ends: no failure for make to report.
trap close_demo INT TERM

if [ -n "${DISPLAY:-}" ] && ! xdpyinfo >/dev/null 2>&1; then
  echo "run-demo: the display DISPLAY=$DISPLAY cannot be opened (no X server there, or this user may" >&2
  echo "  not connect to it). Fix DISPLAY, or unset it to run the demo on a virtual display." >&2
  exit 1
fi

if [ -z "${DISPLAY:-}" ]; then
  # Xvfb picks a free display number itself and writes it to fd 3 once it accepts clients.
  # Its own session keeps Ctrl+C away from it: it must outlive the Wine processes, which
  # complain when their display goes first; finish stops it.
  rm -f "$state.number"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$state.number" 2>"$build/demo-xvfb.log" &
  xvfb=$!
  until read -r number 2>/dev/null <"$state.number"; do
    kill -0 "$xvfb" 2>/dev/null || { echo "run-demo: Xvfb did not start (see $build/demo-xvfb.log)" >&2; exit 1; }
    sleep 0.1
  done
  export DISPLAY=":$number"
  screenshot="make screenshot"
  [ "$build" -ef "$here/../build" ] || screenshot+=" BUILD_DIR=$1"
  echo "run-demo: no display found; the demo runs on a virtual display (Xvfb), DISPLAY=$DISPLAY,"
  echo "  so its window does not appear on your screen. To see it, run in another terminal:"
  echo "    $screenshot"
  echo "  which saves each window of the demo as a PNG under $build/screenshots/ and prints the paths."
fi

# A Wine server still running for this prefix (a test run, a killed demo) may belong to
# another display and would put the windows there: start afresh on this one.
"$here/wine-prefix.sh" stop "$build"
"$here/wine-prefix.sh" start "$build"
# A session of its own keeps the terminal's Ctrl+C away from the demo, which Wine would end
# on the spot: close_demo closes it in order instead.
setsid "$WINE_LOADER" "$build/bin/SysExDumpDemo.exe" &
demo=$!
echo "$DISPLAY $$" >"$state"
echo "run-demo: the demo runs on DISPLAY=$DISPLAY. Stop it with Ctrl+C, or kill $$ (or kill make)."

# GNU make passes SIGTERM on to this script but not SIGINT: it expects Ctrl+C to reach the
# whole process group, and waits for the script. A SIGINT sent to make alone (make in the
# background) shows only in make no longer catching SIGINT, so a make parent is watched.
watch=""
case "$(cat "/proc/$PPID/comm" 2>/dev/null)" in
  make | gmake) watch="$(grep SigCgt "/proc/$PPID/status")" ;;
esac
while kill -0 "$demo" 2>/dev/null; do
  if [ -n "$watch" ] && [ "$(grep SigCgt "/proc/$PPID/status" 2>/dev/null)" != "$watch" ]; then
    echo "run-demo: make was interrupted."
    close_demo
  fi
  sleep 0.5 &
  wait $! || true
done
# The demo ended by itself (its window was closed): its exit status is the script's.
wait "$demo"
