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
#
# Uses the DISPLAY and WINEPREFIX that scripts/test exported, or starts its
# own Xvfb and uses the project's prefix. PIXAVO_BUILD chooses the build
# folder (default build/windows).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

build="${PIXAVO_BUILD:-$root/build/windows}"
exe="$build/pixavo.exe"
probe="$build/pixavo_win_tests.exe"
[ -n "${WINEPREFIX:-}" ] || wine_env
export WINEDEBUG="${WINEDEBUG:--all}"

work="$(mktemp -d)"
viewer=
cleanup() {
  [ -n "$viewer" ] && kill "$viewer" 2>/dev/null || true
  [ -n "$viewer" ] && wait "$viewer" 2>/dev/null || true
  rm -rf "$work"
  stop_xvfb
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then start_xvfb; fi

# 120 × 80: red, green / blue, yellow quadrants, in a name with a space.
name="e2e first image.png"
/usr/bin/convert -size 60x40 xc:'#E60000' -size 60x40 xc:'#00C800' +append \
  \( -size 60x40 xc:'#0000DC' -size 60x40 xc:'#E6C800' +append \) -append "$work/$name"

# Any viewer left from an earlier run would answer the probe instead.
if xdotool search --name "Pixavo Image Browser by Corvane" >/dev/null 2>&1; then
  echo "a Pixavo window is already open on $DISPLAY" >&2; exit 1
fi
wine "$exe" /nosplash "$(winepath -w "$work/$name")" >/dev/null 2>&1 &
viewer=$!
for _ in $(seq 300); do
  xdotool search --onlyvisible --name "Pixavo Image Browser by Corvane" >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool search --onlyvisible --name "Pixavo Image Browser by Corvane" >/dev/null || { echo "no window" >&2; exit 1; }
sleep 2

report="$(wine "$probe" --gtest_also_run_disabled_tests --gtest_filter='E2EProbe.*' 2>&1 | tr -d '\r')"
status="$(sed -n 's/^status: //p' <<<"$report")"
read -r left top right bottom < <(sed -n 's/^area: //p' <<<"$report")
[ -n "${bottom:-}" ] || { echo "probe failed:"; echo "$report"; exit 1; }
import -window root "$work/shot.png"

failures=0
check() {   # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAILED: $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi
}
check "status bar" "$name (120x80)" "$status"

# Centred: left = (area width - 120) / 2 and top = (area height - 80) / 2,
# halves to the even neighbour.
half_even() { local d=$1; if [ $((d % 2)) -eq 0 ]; then echo $((d / 2)); else local h=$(((d - 1) / 2)); [ $((h % 2)) -eq 0 ] && echo $h || echo $((h + 1)); fi; }
x0=$((left + $(half_even $((right - left - 120)))))
y0=$((top + $(half_even $((bottom - top - 80)))))
echo "area $left,$top-$right,$bottom; image expected at $x0,$y0"

colour() {   # colour X Y -> "R,G,B" (8 bit)
  /usr/bin/convert "$work/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- | tail -1 |
    sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1,\2,\3/'
}
near() {   # near WHAT "R,G,B" X Y: within 8 per channel
  local got; got="$(colour "$3" "$4")"
  local IFS=,; read -r r g b <<<"$2"; read -r R G B <<<"$got"
  local d=0 v
  for v in $((r - R)) $((g - G)) $((b - B)); do v=${v#-}; [ "$v" -gt "$d" ] && d=$v; done
  if [ "$d" -le 8 ]; then echo "ok: $1 ($got)"; else echo "FAILED: $1 at $3,$4: expected $2, got $got"; failures=$((failures + 1)); fi
}
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
