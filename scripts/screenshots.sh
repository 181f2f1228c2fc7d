#!/usr/bin/env bash
# Takes the README's screenshots: starts the demo on a virtual display, has the tour program
# (tools/screenshots/ScreenshotTour.cpp) open each window in turn, and saves every window, frame
# included, as docs/screenshots/<name>.png.
#   scripts/screenshots.sh <build dir>    (a configured build tree, e.g. build)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "${1:?usage: scripts/screenshots.sh <build dir>}" && pwd)"
out="$here/../docs/screenshots"

for tool in xvfb-run xwd convert; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (make bootstrap)" >&2; exit 1; }
done

# The rest runs on a virtual display of its own, with a Wine server started on it.
if [ -z "${SCREENSHOTS_ON_DISPLAY:-}" ]; then
  cmake --build "$build" --target screenshot_tour >/dev/null
  exec env SCREENSHOTS_ON_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$build"
fi

export SYSEXDUMP_BUILD_DIR="$build"
source "$here/wine-env.sh"
# A server left from a run on another display would draw the windows there.
"$here/wine-prefix.sh" stop "$build"
"$here/wine-prefix.sh" start "$build"
mkdir -p "$out"

trap '"$here/wine-prefix.sh" stop "$build"' EXIT

source "$here/window-capture.sh"

# Saves the window titled $2 as $1.
capture() {
  local id
  id="$(xwininfo -display "$DISPLAY" -name "$2" | awk '/Window id:/ { print $4 }' || true)"
  [ -n "$id" ] || { echo "screenshots: no window titled \"$2\" on the display" >&2; return 1; }
  capture_window "$1" "$id"
}

coproc TOUR { "$WINE_LOADER" "$build/bin/screenshot_tour.exe" 2>/dev/null; }
status=1
while IFS= read -r line <&"${TOUR[0]}"; do
  read -r word name title <<<"${line//$'\r'/}"
  case "$word" in
    shot)
      capture "$out/$name.png" "$title" && echo "screenshots: docs/screenshots/$name.png ($title)"
      echo ok >&"${TOUR[1]}"
      ;;
    done) status=0 ;;
    error) echo "screenshots: the tour failed: ${line#error }" >&2 ;;
  esac
done
exit "$status"
