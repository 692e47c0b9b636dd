#!/usr/bin/env bash
# End to end: pictures are shown in their profiles' colours. Red pixels
# (230, 0, 0) under a profile whose red is sRGB's green (colord's
# SwappedRedAndGreen.icc, put in by ImageMagick without touching the
# pixels) show green as a JPEG and as a PNG; the same red untagged shows red.
# "Colour Management" in the right-click menu turns it off (the tagged
# picture then shows its raw red) and the choice is stored for the next run. The tagged PNG
# turned and saved keeps its own pixels and profile (read back with
# ImageMagick).
set -euo pipefail
value=Q29sb3VyTWFuYWdlbWVudA==   # ColourManagement
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

profile=/usr/share/color/icc/colord/SwappedRedAndGreen.icc
[ -f "$profile" ] || { echo "FAILED: $profile is missing (colord-data)"; exit 1; }
keep_setting "$value"
wine reg delete "$settings_key" /v "$value" /f >/dev/null 2>&1 || true

sample() { /usr/bin/convert -size 120x80 xc:'#E60000' "$@"; }
sample -profile "$profile" "$work/a.jpg"
sample -profile "$profile" "$work/b.png"
sample "$work/c.jpg"

open_viewer "$work/a.jpg"
wait_status "a.jpg (120x80)" >/dev/null
read -r left top right bottom < <(probe_report | sed -n 's/^area: //p')
[ -n "${bottom:-}" ] || { echo "probe failed"; exit 1; }
cx=$(((left + right) / 2)); cy=$(((top + bottom) / 2))

shows() { shows_at "$cx" "$cy" 24 "$@"; }   # shows WHAT "R,G,B": the middle of the area, within 24

shows "tagged JPEG in its profile's colours" "0,230,0"
[ -n "${PIXAVO_SHOT:-}" ] && cp "$work/shot.png" "$PIXAVO_SHOT"
xdotool key n
wait_status "b.png (120x80)" >/dev/null
shows "tagged PNG in its profile's colours" "0,230,0"
xdotool key n
wait_status "c.jpg (120x80)" >/dev/null
shows "untagged JPEG as its numbers say" "230,0,0"
xdotool key n
wait_status "a.jpg (120x80)" >/dev/null
shows "tagged JPEG again" "0,230,0"

# Off in the menu: its entries without the separators are Open, Previous,
# Next, Slide Show, Zoom, Rotate, Flip, Background Color, Full Screen,
# Auto-fit, Colour Management.
windows="$(xdotool search --onlyvisible --class '^pixavo\.exe$' 2>/dev/null | wc -l)"
menu_open() { [ "$(xdotool search --onlyvisible --class '^pixavo\.exe$' 2>/dev/null | wc -l)" -gt "$windows" ]; }
xdotool mousemove "$cx" "$cy" click 3
wait_until 30 menu_open || echo "no menu showed"
xdotool key --delay 150 Down Down Down Down Down Down Down Down Down Down Down Return
check "stored off" "0" "$(wait_setting "$value" 0)"
shows "management off: the raw numbers" "230,0,0"

# Turned and saved: the file keeps its numbers and its profile.
xdotool key n
wait_status "b.png (120x80)" >/dev/null
xdotool key ctrl+r
wait_status "b.png (80x120) (Modified)" >/dev/null
xdotool key ctrl+s
check "saved" "b.png (80x120)" "$(wait_status "b.png (80x120)")"
xdotool key Escape
wait_ended || { echo "FAILED: Escape did not close the viewer"; exit 1; }
# The next run keeps management off.
open_viewer "$work/a.jpg"
wait_status "a.jpg (120x80)" >/dev/null
shows "next run: still off" "230,0,0"
xdotool key Escape
wait_ended || { echo "FAILED: Escape did not close the viewer"; exit 1; }

near_pixel "saved PNG keeps its red" "230,0,0" "$work/b.png" 40 60 2
/usr/bin/convert "$work/b.png" "$work/saved.icc"
check "saved PNG keeps its profile" "same" "$(cmp -s "$work/saved.icc" "$profile" && echo same || echo different)"

[ "$failures" -eq 0 ] && echo "colour_profile: all checks passed"
exit "$failures"
