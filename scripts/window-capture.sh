# shellcheck shell=bash
# Sourced by screenshots.sh (the README's pictures) and demo-screenshot.sh (make screenshot):
# the one way this project takes a picture of a window. Needs xwd, convert and identify.

# capture_window <png file> <X window id>: saves the window on $DISPLAY, frame included (Wine
# draws it), once the display has caught up with it: the picture shows more than one colour
# and agrees with the one before (a window whose content keeps changing is taken at the third
# picture that is not blank). The window is read itself, not the screen: on the virtual
# display, the part of a window that overlaps another comes out black in a picture of the
# whole screen. Fails when the window cannot be read (it has gone).
capture_window() {
  local file="$1" id="$2" work previous current drawn=0
  work="$(mktemp -d)"
  previous="$work/previous.png"
  current="$work/current.png"
  for _ in $(seq 30); do
    if ! xwd -id "$id" -silent -display "$DISPLAY" >"$work/window.xwd" 2>/dev/null ||
       ! convert "xwd:$work/window.xwd" "$current"; then
      rm -rf "$work"
      return 1
    fi
    if [ "$(identify -format '%k' "$current")" -gt 1 ]; then
      drawn=$((drawn + 1))
      if [ "$drawn" -ge 3 ] || { [ -f "$previous" ] && cmp -s "$previous" "$current"; }; then
        break
      fi
    fi
    mv "$current" "$previous"
    sleep 0.1
  done
  [ -f "$current" ] || mv "$previous" "$current"
  mv "$current" "$file"
  rm -rf "$work"
}
