#!/usr/bin/env bash
# End to end: pixavo.exe started with an image file shows that image's own
# pixels centred in the image area, and its status bar reads "name (WxH)".
#
# The window is found with xdotool and photographed with import; the pixel
# colours are read with ImageMagick at the centres of the image's four
# coloured quadrants and just outside it. The status bar text and the image
# area's screen rectangle are read from the running program by a probe in the
# Windows test program (E2EProbe, disabled in normal runs), which asks the
# status bar for its text the way any Win32 program can; that is exact where
# comparing rendered text would depend on fonts.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

# 120 × 80: red, green / blue, yellow quadrants, in a name with a space.
name="e2e first image.png"
/usr/bin/convert -size 60x40 xc:'#E60000' -size 60x40 xc:'#00C800' +append \
  \( -size 60x40 xc:'#0000DC' -size 60x40 xc:'#E6C800' +append \) -append "$work/$name"

refuse_open_viewer
start_viewer "$(winepath -w "$work/$name")"

status="$(wait_status "$name (120x80)")"
report="$(probe_report)"
read -r left top right bottom < <(sed -n 's/^area: //p' <<<"$report")
[ -n "${bottom:-}" ] || { echo "probe failed:"; echo "$report"; exit 1; }
screen_settled "$work/shot.png"

check "status bar" "$name (120x80)" "$status"

# Centred: left = (area width - 120) / 2 and top = (area height - 80) / 2,
# halves to the even neighbour.
half_even() { local d=$1; if [ $((d % 2)) -eq 0 ]; then echo $((d / 2)); else local h=$(((d - 1) / 2)); [ $((h % 2)) -eq 0 ] && echo $h || echo $((h + 1)); fi; }
x0=$((left + $(half_even $((right - left - 120)))))
y0=$((top + $(half_even $((bottom - top - 80)))))
echo "area $left,$top-$right,$bottom; image expected at $x0,$y0"

near() { near_pixel "$1" "$2" "$work/shot.png" "$3" "$4" 8; }   # near WHAT "R,G,B" X Y
near "top-left quadrant" "230,0,0" $((x0 + 30)) $((y0 + 20))
near "top-right quadrant" "0,200,0" $((x0 + 90)) $((y0 + 20))
near "bottom-left quadrant" "0,0,220" $((x0 + 30)) $((y0 + 60))
near "bottom-right quadrant" "230,200,0" $((x0 + 90)) $((y0 + 60))
# The image's own corners and the black background just outside them.
near "first pixel" "230,0,0" $x0 $y0
near "last pixel" "230,200,0" $((x0 + 119)) $((y0 + 79))
near "background left" "0,0,0" $((x0 - 2)) $((y0 + 40))
near "background right" "0,0,0" $((x0 + 121)) $((y0 + 40))
near "background above" "0,0,0" $((x0 + 60)) $((y0 - 2))
near "background below" "0,0,0" $((x0 + 60)) $((y0 + 81))

[ "$failures" -eq 0 ] && echo "first_image: all checks passed"
exit "$failures"
