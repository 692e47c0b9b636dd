#!/usr/bin/env bash
# End to end: in pixavo.exe showing a 640 × 480 JPEG, Ctrl+T opens the
# "Image Tools" window with the width field focused; typing 320 there and
# clicking its Resize button makes the image 320 × 240 (the height followed
# the width), and the status bar says so with " (Modified)", its first panel
# showing the hint of the button under the pointer. Escape then
# hides the tools window and nothing else: the viewer stays open.
#
# The keys and the click are real X input through xdotool; the status bar is
# read by the probe. A picture of the tools window is kept beside the log
# (image_tools.png) for a person to look at.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

/usr/bin/convert -size 640x480 gradient:'#3070c0-#e0a020' -quality 92 "$work/photo.jpg"

refuse_open_viewer
start_viewer "$(winepath -w "$work/photo.jpg")"
main="$(xdotool search --onlyvisible --name "$title" | head -1)"
xdotool windowfocus --sync "$main" 2>/dev/null || true
check "before" "photo.jpg (640x480)" "$(wait_status "photo.jpg (640x480)")"

tools_window() { xdotool search --onlyvisible --name '^Image Tools$' 2>/dev/null | head -1; }
xdotool key ctrl+t
tools="$(wait_window '^Image Tools$')"
[ -n "$tools" ] || { echo "FAILED: Ctrl+T showed no tools window"; exit 1; }
# What is typed next goes to the tools window once it has the focus.
tools_focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$tools" ]; }
wait_until 30 tools_focused || echo "the tools window did not take the focus"
eval "$(xdotool getwindowgeometry --shell "$tools")"
echo "tools window at $X,$Y, $WIDTH x $HEIGHT"
check "client size" "252x241" "${WIDTH}x${HEIGHT}"

xdotool type --delay 80 320
screen_settled
import -window "$tools" "$work/tools.png"
cp "$work/tools.png" "${PIXAVO_TEST_LOGS:-$root/build/test-logs}/image_tools.png" 2>/dev/null || true
# The Resize button: 30 × 25 at (152, 136) of the client area.
xdotool mousemove --window "$tools" 167 148 click 1
check "resized" "photo.jpg (320x240) (Modified)" "$(wait_status "photo.jpg (320x240) (Modified)")"
check "the long hint of the button under the pointer" "Resize Image" "$(probe_report | sed -n 's/^hint: //p')"

xdotool key Escape
# A hidden window leaves the X screen a moment later.
wait_gone '^Image Tools$'
check "Escape hid the tools window" "" "$(tools_window)"
check "the viewer is still open" "yes" "$(kill -0 "$viewer" 2>/dev/null && xdotool search --onlyvisible --name "$title" >/dev/null && echo yes || echo no)"

[ "$failures" -eq 0 ] && echo "image_tools: all checks passed"
exit "$failures"
