#!/usr/bin/env bash
# End to end: the background colour chosen in the right-click menu lasts
# between runs of the real program.
#
# pixavo.exe starts on a black image area; a right click opens the menu and
# "Background Color" > "White" is chosen with the arrow keys (xdotool); Esc
# closes the window. The registry value then reads 16777215 (wine reg
# query), and a second start shows a white image area in a screenshot. The image area's screen rectangle comes from the probe in the
# Windows test program (E2EProbe, disabled in normal runs). The stored value
# that was there before is put back at the end.
set -euo pipefail
value=QmFja0dyb3VuZENvbG9y
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"
stored() { setting "$value"; }

keep_setting "$value"
wine reg delete "$settings_key" /v "$value" /f >/dev/null 2>&1 || true

refuse_open_viewer

left= top= right= bottom=
probe_area() {   # sets left, top, right and bottom of the image area (screen)
  local report
  report="$(probe_report)"
  read -r left top right bottom < <(sed -n 's/^area: //p' <<<"$report")
  [ -n "${bottom:-}" ] || { echo "probe failed:" >&2; echo "$report" >&2; exit 1; }
}
area_colours() {   # the colours near the four corners of the image area
  probe_area
  screen_settled "$work/shot.png"
  local x y
  for x in $((left + 5)) $((right - 6)); do
    for y in $((top + 5)) $((bottom - 6)); do
      pixel "$work/shot.png" "$x" "$y"
    done
  done | sort -u | tr '\n' ' ' | sed 's/ $//'
}
close_viewer() {   # Esc, with the keyboard focus on the window
  local window
  window="$(xdotool search --onlyvisible --name "$title" | head -1)"
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key Escape
  wait_ended || { echo "the window did not close" >&2; exit 1; }
}
# The viewer's visible X windows (a menu is one of them while it is open).
viewer_windows() { xdotool search --onlyvisible --class '^pixavo\.exe$' 2>/dev/null | wc -l; }

# First run: no stored colour, a black image area.
start_viewer
check "first run: black image area" "0,0,0" "$(area_colours)"
# A right click in the image area opens the menu; its entries without the
# separators: Open, Previous, Next, Slide Show, Zoom, Rotate, Flip,
# Background Color, whose first entry is Black.
probe_area
windows="$(viewer_windows)"
menu_open() { [ "$(viewer_windows)" -gt "$windows" ]; }
xdotool mousemove $(((left + right) / 2)) $((top + 40)) click 3
wait_until 30 menu_open || echo "no menu showed"
xdotool key --delay 150 Down Down Down Down Down Down Down Down Right Down Return
check "stored after choosing White" "16777215" "$(wait_setting "$value" 16777215)"
check "white at once" "255,255,255" "$(area_colours)"
close_viewer

# Second run: the stored colour is back.
start_viewer
check "second run: white image area" "255,255,255" "$(area_colours)"
check "still stored" "16777215" "$(stored)"
close_viewer

[ "$failures" -eq 0 ] && echo "background_colour: all checks passed"
exit "$failures"
