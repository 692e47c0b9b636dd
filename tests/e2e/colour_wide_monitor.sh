#!/usr/bin/env bash
# End to end on a wide-gamut monitor: in a prefix of its own whose display
# profile is colord's Adobe RGB (1998), pictures that say nothing of their
# colours are sRGB. The same red rgb(230,0,0) as an untagged JPEG, as a PNG
# with an sRGB chunk and as an AVIF described as sRGB (avifenc --cicp 1/13)
# shows converted from sRGB alike, about rgb(196,1,0) as ImageMagick converts
# it; the red tagged with the monitor's own profile shows its numbers. The
# viewer started on a folder opens its first image.
set -euo pipefail
# Not the run's prefix: this one's monitor has another profile.
unset PIXAVO_PREFIX
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

wide=/usr/share/color/icc/colord/AdobeRGB1998.icc
srgb=/usr/share/color/icc/colord/sRGB.icc
for f in "$wide" "$srgb"; do [ -f "$f" ] || { echo "FAILED: $f is missing (colord-data)"; exit 1; }; done
command -v avifenc >/dev/null || { echo "FAILED: avifenc is missing (libavif-bin)"; exit 1; }
monitor="$WINEPREFIX/drive_c/windows/system32/spool/drivers/color/srgb color space profile.icm"
[ -f "$monitor" ] || { echo "FAILED: no display profile in the prefix"; exit 1; }
cp --remove-destination "$wide" "$monitor"

mkdir -p "$work/reds"
sample() { /usr/bin/convert -size 120x80 xc:'#E60000' "$@"; }
sample "$work/reds/a.jpg"
# A PNG whose only word on its colours is an sRGB chunk (ImageMagick writes
# gAMA and cHRM instead).
python3 - "$work/reds/b.png" <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
rows = b"".join(b"\0" + bytes([230, 0, 0]) * 120 for _ in range(80))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 120, 80, 8, 2, 0, 0, 0)) +
       chunk(b"sRGB", b"\0") + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
open(sys.argv[1], "wb").write(png)
PY
avifenc --min 0 --max 0 -y 444 --cicp 1/13/0 "$work/reds/b.png" "$work/reds/c.avif" >/dev/null
sample -profile "$wide" "$work/reds/d.jpg"
# What the converted red is, by ImageMagick (Little CMS) from sRGB.
converted="$(/usr/bin/convert -size 1x1 xc:'#E60000' -profile "$srgb" -profile "$wide" -depth 8 txt:- | tail -1 |
  sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1,\2,\3/')"
echo "sRGB red on Adobe RGB: $converted"

refuse_open_viewer
start_viewer "$(winepath -w "$work/reds")"
xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "$title" | head -1)" 2>/dev/null || true
shown_name() { status_text | sed -n 's/ (120x80)$//p'; }
other_name() {   # other_name NAME: the name shown once it is another (at most 30 s on)
  local n deadline=$((SECONDS + 30))
  while n="$(shown_name)"; [ -z "$n" ] || [ "$n" = "$1" ]; do [ "$SECONDS" -ge "$deadline" ] && break; sleep 0.2; done
  echo "$n"
}
first="$(other_name "")"
case "$first" in a.jpg|b.png|c.avif|d.jpg) echo "ok: the folder's first image opened ($first)" ;;
  *) echo "FAILED: the folder did not open an image: '$(status_text)'"; exit 1 ;; esac
read -r left top right bottom < <(probe_report | sed -n 's/^area: //p')
[ -n "${bottom:-}" ] || { echo "probe failed"; exit 1; }
cx=$(((left + right) / 2)); cy=$(((top + bottom) / 2))

shows() { shows_at "$cx" "$cy" 4 "$@"; }   # shows WHAT "R,G,B": the middle of the area, within 4

# The four in the order the folder lists them, from the one shown first.
name="$first"
for _ in 1 2 3 4; do
  case "$name" in
    a.jpg) shows "untagged JPEG converted from sRGB" "$converted"
           [ -n "${PIXAVO_SHOT:-}" ] && cp "$work/shot.png" "$PIXAVO_SHOT" ;;
    b.png) shows "PNG with an sRGB chunk converted alike" "$converted" ;;
    c.avif) shows "AVIF described as sRGB converted alike" "$converted" ;;
    d.jpg) shows "tagged with the monitor's profile: its numbers" "230,0,0" ;;
    *) echo "FAILED: unexpected status '$(status_text)'"; failures=$((failures + 1)) ;;
  esac
  xdotool key n
  name="$(other_name "$name")"
done
check "back at the first after four" "$first" "$name"
xdotool key Escape
wait_ended || { echo "FAILED: Escape did not close the viewer"; exit 1; }

[ "$failures" -eq 0 ] && echo "colour_wide_monitor: all checks passed"
exit "$failures"
