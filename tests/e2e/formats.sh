#!/usr/bin/env bash
# End to end: a folder of JPEG, PNG, animated GIF, animated WebP, TIFF and
# AVIF files, a TIFF of 12-bit samples and a CMYK JPEG is stepped through with N; every one is shown (its status bar
# text, with the TIFF's page count, and its colour in the middle of the
# image area), and both animations are seen to play (the middle changes to
# their second frame's colour and back to the first); a turned animation is
# a still picture. Samples are made here by ImageMagick and avifenc.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

sample() { /usr/bin/convert -size 120x80 "$@"; }
sample xc:'#E60000' "$work/a.jpg"
sample xc:'#00C800' "$work/b.png"
sample -delay 40 xc:'#0000DC' xc:'#E6C800' -loop 0 "$work/c.gif"
sample -delay 40 xc:'#00C800' xc:'#E60000' -loop 0 -define webp:lossless=true "$work/d.webp"
sample xc:'#C800C8' xc:'#00C800' -compress zip "$work/e.tif"   # two pages
sample xc:'#00C8C8' "$work/f.png"
avifenc --min 0 --max 10 "$work/f.png" "$work/f.avif" >/dev/null
rm "$work/f.png"
sample -depth 16 xc:'#C86400' -depth 12 -compress zip "$work/g.tif"
sample xc:'#6464C8' -colorspace CMYK -quality 95 "$work/h.jpg"

refuse_open_viewer
start_viewer "$(winepath -w "$work/a.jpg")"
wait_status "a.jpg (120x80)" >/dev/null
read -r left top right bottom < <(probe_report | sed -n 's/^area: //p')
[ -n "${bottom:-}" ] || { echo "probe failed"; exit 1; }
cx=$(((left + right) / 2)); cy=$(((top + bottom) / 2))

middle() { import -window root "$work/shot.png" && pixel "$work/shot.png" "$cx" "$cy"; }
# near_now "R,G,B": the middle of the area is within 24 of that colour now.
near_now() {
  local IFS=, r g b R G B; read -r r g b <<<"$1"; read -r R G B <<<"$(middle)"
  local v; for v in $((r - R)) $((g - G)) $((b - B)); do [ "${v#-}" -le 24 ] || return 1; done
}
# shows WHAT "R,G,B": that colour appears in the middle within 10 s.
shows() {
  if wait_until 10 near_now "$2"; then echo "ok: $1"; else echo "FAILED: $1: expected $2, got $(middle)"; failures=$((failures + 1)); fi
}

shows "JPEG" "230,0,0"
step=0
for expected in "b.png||0,200,0" "c.gif||0,0,220" "d.webp||0,200,0" "e.tif| (page 1 of 2)|200,0,200" "f.avif||0,200,200" \
                "g.tif||200,100,0" "h.jpg||100,100,200"; do
  IFS='|' read -r name more colour <<<"$expected"
  xdotool key n
  check "status after N to $name" "$name (120x80)$more" "$(wait_status "$name (120x80)$more")"
  shows "$name shown" "$colour"
  case $name in
    c.gif) shows "GIF plays its second frame" "230,200,0"; shows "GIF plays its first frame again" "0,0,220" ;;
    d.webp) shows "WebP plays its second frame" "230,0,0"; shows "WebP plays its first frame again" "0,200,0" ;;
  esac
  step=$((step + 1))
done
check "steps" 7 "$step"

# Turning an animation turns the frame it shows, and the result is still.
xdotool key n n n   # a.jpg, b.png, c.gif
wait_status "c.gif (120x80)" >/dev/null
shows "GIF plays its second frame again" "230,200,0"
xdotool key ctrl+r
check "turned GIF" "c.gif (80x120) (Modified)" "$(wait_status "c.gif (80x120) (Modified)")"
turned="$(middle)"
sleep 1.5   # three frames' time: nothing more happens
check "the turned frame stays" "$turned" "$(middle)"

[ "$failures" -eq 0 ] && echo "formats: all checks passed"
exit "$failures"
