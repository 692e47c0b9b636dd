#!/usr/bin/env bash
# End to end: a phone photo stored 320 x 240 (4:2:0, sides whole blocks)
# with Exif orientation 6 opens upright in pixavo.exe, 240 x 320 and not
# modified. Turned back with Ctrl+L and saved, the file holds its own blocks
# again: its pixels are those of the stored picture bit for bit, with
# orientation 1. Turned with Ctrl+R and saved four times, it is still those
# pixels bit for bit (compressing anew would have changed them at the first
# save), and no larger than the file the camera wrote.
#
# The photo is made with ImageMagick and its Exif block put in by perl; the
# saved files are decoded with ImageMagick, never by the program's own code.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

/usr/bin/convert -size 320x240 gradient:'#2050C0-#E0A040' -fill '#E00000' -draw 'rectangle 0,0 79,59' \
  -fill '#10A010' -draw 'circle 200,150 240,170' -sampling-factor 2x2 -quality 88 "$work/plain.jpg"
with_exif "$work/plain.jpg" "$work/photo.jpg" 6
pixels() { /usr/bin/convert "$1" -depth 8 rgb:- | md5sum | cut -d' ' -f1; }
stored="$(pixels "$work/plain.jpg")"
camera="$(stat -c %s "$work/photo.jpg")"
check "made: orientation" "6" "$(identify -format '%[EXIF:Orientation]' "$work/photo.jpg" 2>/dev/null)"

open_viewer "$work/photo.jpg"
check "opened upright, not modified" "photo.jpg (240x320)" "$(wait_status "photo.jpg (240x320)")"

xdotool key ctrl+l
check "turned back" "photo.jpg (320x240) (Modified)" "$(wait_status "photo.jpg (320x240) (Modified)")"
xdotool key ctrl+s
check "saved" "photo.jpg (320x240)" "$(wait_status "photo.jpg (320x240)")"
check "stored pixels, bit for bit" "$stored" "$(pixels "$work/photo.jpg")"
check "orientation upright" "1" "$(identify -format '%[EXIF:Orientation]' "$work/photo.jpg" 2>/dev/null)"

sizes=(240x320 320x240 240x320 320x240)
for turn in 1 2 3 4; do
  size="${sizes[turn - 1]}"
  xdotool key ctrl+r
  check "turn $turn" "photo.jpg ($size) (Modified)" "$(wait_status "photo.jpg ($size) (Modified)")"
  xdotool key ctrl+s
  check "save $turn" "photo.jpg ($size)" "$(wait_status "photo.jpg ($size)")"
  if [ "$turn" = 1 ]; then
    check "turned a quarter on disk" "$size" "$(identify -format '%wx%h' "$work/photo.jpg")"
  fi
done
xdotool key Escape
wait_ended || { echo "FAILED: Escape did not close the viewer"; exit 1; }

check "four turns later, bit for bit" "$stored" "$(pixels "$work/photo.jpg")"
check "no larger than the camera's file" "yes" "$([ "$(stat -c %s "$work/photo.jpg")" -le "$camera" ] && echo yes || echo no)"
check "no temporary file left" "photo.jpg" "$(cd "$work" && ls photo*)"

[ "$failures" -eq 0 ] && echo "lossless_turns: all checks passed"
exit "$failures"
