#!/usr/bin/env bash
# make screenshot: saves each visible window of the demo that `make run` is running as a PNG
# under <build dir>/screenshots/ and prints the files' paths. Meant for a demo on a virtual
# display, which nobody can look at; it works on a real display too.
#   bash scripts/demo-screenshot.sh <build dir>
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
state="$build/demo-display"   # "<display> <pid of run-demo.sh>", written by run-demo.sh

no_demo() {
  echo "screenshot: no demo is running for $build (start one with make run)." >&2
  exit 1
}
[ -f "$state" ] || no_demo
read -r display pid <"$state" || no_demo
# A file left by a run that was killed outright (SIGKILL) names a script that is gone.
kill -0 "$pid" 2>/dev/null || no_demo
export DISPLAY="$display"
source "$here/window-capture.sh"

# Wine names each window's X class after its executable; Wine also keeps unmapped helper
# windows (IME, message-only), so only the viewable ones are pictures of the demo. With a
# dialog open, the part of the main window under it comes out black: the dialog has its own.
ids="$(xwininfo -root -tree | awk '/\("sysexdumpdemo\.exe" / { print $1 }')"
out="$build/screenshots"
stamp="$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
saved=0
for id in $ids; do
  info="$(xwininfo -id "$id" 2>/dev/null)" || continue
  grep -q 'Map State: IsViewable' <<<"$info" || continue
  # The title, as a file name: "SysEx Dump" gives sysex-dump.
  title="$(sed -n 's/^xwininfo: Window id: [^ ]* "\(.*\)"$/\1/p' <<<"$info")"
  name="$(tr '[:upper:]' '[:lower:]' <<<"${title:-window}" | tr -cs 'a-z0-9' '-' | sed 's/^-*//; s/-*$//')"
  saved=$((saved + 1))
  file="$out/$stamp-$saved-${name:-window}.png"
  if capture_window "$file" "$id"; then
    echo "$file"
  else
    saved=$((saved - 1))
  fi
done
if [ "$saved" -eq 0 ]; then
  echo "screenshot: the demo shows no window on $DISPLAY yet (it may still be starting)." >&2
  exit 1
fi
